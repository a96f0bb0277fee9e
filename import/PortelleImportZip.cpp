// Extraction of the archive into the install folder, and the move of alert
// files that older servers kept at the top of it into "Admin\". The whole
// archive is checked, and its package read, before anything is written: an
// archive that is refused leaves the server as it was.
#include <string>

#include "import/PortelleImport.h"
#include "import/SystemPath.h"
#include "log/DebugLog.h"
#include "package/ArchiveLayout.h"
#include "package/PackageDataFile.h"
#include "platform/file_system.h"
#include "platform/format.h"
#include "platform/string_table.h"
#include "platform/text.h"
#include "platform/user_interface.h"
#include "zip/Unzip.h"
#include "zip/ZipCommon.h"
#include "zip/ZipException.h"

namespace {

constexpr char16_t kLogSource[] = u"PortelleImport";
constexpr char16_t kFunc[] = u"CImportSkvaSettings::ExtractFromZip";
// The zip layer's error texts are at most this long.
constexpr unsigned int kErrorTextSize = 261;
// The largest skva.dat taken from an archive: the longest package the
// reader accepts cannot need more, since its compressed form is smaller than
// the package and its length prefix has at most 20 digits.

void ShowDataFileCorrupted() {
  platform::ShowAppMessage(platform::kMsgDataFileCorrupted, platform::MessageIcon::kError);
}

// Lets through the members an export archive holds, except the package,
// which was read from the archive already; others are counted in the
// ImportSummary given as context, and so is every file written. A name that
// leaves the install folder is let through too, so that the reader refuses
// it and the extraction fails as for any damaged archive (the check before
// extraction has refused such an archive already).
bool ExtractKnownMembersOnly(void* context, const char* path, int phase) {
  if (phase == 1) ++static_cast<ImportSummary*>(context)->files_replaced;
  if (phase != 0 || !IsSafeMemberName(path)) return true;
  const std::u16string name = platform::FromSystemCodePage(path);
  if (platform::EqualsIgnoreCase(name, package::kPackageDataFileName)) return false;
  if (package::IsArchiveMemberName(name)) return true;
  DEBUG_LOG(69, u"%s - %S is not a file of an export archive; not extracted", kFunc,
            std::string(path));
  ++static_cast<ImportSummary*>(context)->members_skipped;
  return false;
}

// Copies `from` over `to` and removes `from` when the copy succeeded.
platform::Status MoveByCopy(const std::u16string& from, const std::u16string& to) {
  const platform::Status copied = platform::CopyFile(from, to, false);
  if (copied.ok()) platform::DeleteFile(from);
  return copied;
}

// Servers below 10.49 keep the alert files, and those below 10.01
// ssnotify.ini, at the top of the install folder; current ones read them
// from "Admin\". Top-level copies the archive brought are moved there.
void MoveAlertFilesToAdmin(const std::u16string& install_path) {
  const std::u16string ssnotify = install_path + u"ssnotify.ini";
  if (platform::PathExists(ssnotify)) MoveByCopy(ssnotify, install_path + u"Admin\\ssnotify.ini");
  for (const std::u16string_view name : package::kAlertFileNames) {
    const std::u16string top = install_path + std::u16string(name);
    int error = 0;
    if (!platform::PathExists(top, &error)) {
      DEBUG_LOG(69, u"%s - %S does not exist, errno = %d", kFunc, platform::ToSystemCodePage(name),
                error);
      continue;
    }
    const platform::Status moved =
        MoveByCopy(top, install_path + u"Admin\\" + std::u16string(name));
    if (!moved.ok()) {
      DEBUG_LOG(69, u"%s - CopyFile(%S) failed, GetLastError() = %d", kFunc,
                platform::ToSystemCodePage(name), moved.code());
    }
  }
}

}  // namespace

CImportSkvaSettings::ArchiveCheck CImportSkvaSettings::VerifyArchive(
    CUnzip& unzip, const std::string& install, SKVA_Server_Settings::SettingAggregation* package,
    package::PackageRecords* records, std::u16string* reason) {
  UnzipWantedMember wanted;
  wanted.name = platform::ToSystemCodePage(package::kPackageDataFileName);
  wanted.max_size = kMaxPackageFileBytes;
  UnzipProblem problem;
  if (unzip.Verify(install.c_str(), &wanted, &problem) != 0) {
    *reason = platform::FromSystemCodePage(problem.reason);
  } else if (!wanted.found) {
    *reason = u"it holds no skva.dat";
  } else {
    const package::PackageStatus decoded = package::DecodePackageData(
        wanted.data, u"CImportSkvaSettings::ImportSettingsFromFile", package, records);
    if (decoded.kind() == package::PackageStatus::Kind::kOutOfMemory) {
      package->Clear();
      records->Clear();
      return ArchiveCheck::kOutOfMemory;  // logged by the reader
    }
    if (!decoded.ok()) *reason = u"its skva.dat does not hold a readable settings package";
  }
  if (reason->empty()) return ArchiveCheck::kSound;
  package->Clear();
  records->Clear();
  return ArchiveCheck::kRefused;
}

bool CImportSkvaSettings::CheckArchive(CUnzip& unzip, const std::u16string& archive_path,
                                       const std::string& install) {
  std::u16string reason;
  const ArchiveCheck checked = VerifyArchive(unzip, install, &m_package, &m_records, &reason);
  // Out of memory is logged by the reader; nothing is shown, as for any
  // allocation failure.
  if (checked != ArchiveCheck::kRefused) return checked == ArchiveCheck::kSound;
  ShowDataFileCorrupted();
  DEBUG_LOG(70, u"%s - Refused %s: %s", kFunc, archive_path, reason);
  m_failure = platform::AppMessage(platform::kMsgArchiveRefused, archive_path, reason);
  return false;
}

std::u16string CImportSkvaSettings::WhyNotOpened(const std::u16string& archive_path) {
  platform::FileInfo info;
  const platform::Status found = platform::GetFileInfo(
      platform::FromSystemCodePage(NormalizeArchiveName(platform::ToSystemCodePage(archive_path))),
      &info);
  if (!found.ok()) {
    return u"it cannot be read: " +
           platform::FromSystemCodePage(platform::SystemErrorText(found.code()));
  }
  if (info.is_folder) return u"it is a folder";
  return u"it is not a zip archive";
}

bool CImportSkvaSettings::ExtractFromZip(const std::u16string& archive_path) {
  DEBUG_LOG(68, u"%s - =>ExtractFromZip(wstrImportFile[%s])", kFunc, archive_path);
  bool result = false;
  m_package.Clear();
  m_records.Clear();
  std::string archive;
  std::string install;
  if (!import_paths::ToSystemPath(archive_path, &archive)) {
    ShowDataFileCorrupted();
    DEBUG_LOG(70, u"%s - Fail to open %s", kFunc, archive_path);
    m_failure = platform::AppMessage(platform::kMsgArchivePathTooLong, archive_path);
  } else if (!import_paths::ToSystemPath(m_wstrServerPath, &install)) {
    ShowDataFileCorrupted();
    DEBUG_LOG(70, u"%s - Fail to extract files from %s", kFunc, archive_path);
    m_failure = platform::AppMessage(
        platform::kMsgArchiveRefused, archive_path,
        u"the install folder's path " + m_wstrServerPath + u" is longer than 259 bytes");
  } else {
    try {
      CUnzip unzip;
      int extracted = 0;
      if (unzip.Open(archive.c_str()) != 0) {
        ShowDataFileCorrupted();
        DEBUG_LOG(70, u"%s - Fail to open %s", kFunc, archive_path);
        m_failure = platform::AppMessage(platform::kMsgArchiveRefused, archive_path,
                                         WhyNotOpened(archive_path));
      } else if (!CheckArchive(unzip, archive_path, install)) {
        // Refused before anything was written; the user has been told.
      } else if ((extracted = unzip.ExtractAll(install.c_str(), true, true,
                                               &ExtractKnownMembersOnly, &m_summary)) != 0) {
        ShowDataFileCorrupted();
        DEBUG_LOG(70, u"%s - Fail to extract files from %s", kFunc, archive_path);
        m_failure = platform::AppMessage(
            platform::kMsgArchiveRefused, archive_path,
            platform::Format(u"its extraction stopped (zip error %d); the files extracted before "
                             u"are whole",
                             extracted));
      } else {
        result = true;
        MoveAlertFilesToAdmin(m_wstrServerPath);
      }
    } catch (CZipCommonException& e) {
      const auto* file_error = dynamic_cast<const CWinFileException*>(&e);
      if (file_error != nullptr && !file_error->GetPath().empty()) {
        // A file or folder of the install folder could not be written. No
        // file is left half-written: extraction writes each one under a
        // temporary name and renames it into place.
        const std::u16string path = platform::FromSystemCodePage(file_error->GetPath());
        ShowDataFileCorrupted();
        DEBUG_LOG(70, u"%s - Fail to extract files from %s", kFunc, archive_path);
        DEBUG_LOG(70, u"%s - Cannot write %s: %S", kFunc, path,
                  platform::SystemErrorText(e.GetError()));
        m_failure =
            platform::FileFailureMessage(platform::kMsgInstallFileNotWritten, path,
                                         platform::Status::Error(e.GetError(), "write", path));
      } else {
        char text[kErrorTextSize] = {};
        e.GetErrorText(text, sizeof text);
        const std::u16string wide = platform::FromSystemCodePage(text);
        platform::CurrentUserInterface().ShowMessage(platform::kApplicationTitle, wide,
                                                     platform::MessageIcon::kError,
                                                     platform::MessageButtons::kOk);
        DEBUG_LOG(70, u"%s - Catch exception %s", kFunc, wide);
      }
    } catch (...) {
      ShowDataFileCorrupted();
      DEBUG_LOG(70, u"%s - Catch exception", kFunc);
    }
  }
  DEBUG_LOG(68, u"%s - <=ExtractFromZip(), return %d", kFunc, result ? 1 : 0);
  return result;
}
