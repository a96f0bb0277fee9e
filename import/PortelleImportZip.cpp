// Extraction of the archive into the install folder, and the move of alert
// files that older servers kept at the top of it into "Admin\".
#include <string>

#include "import/PortelleImport.h"
#include "import/SystemPath.h"
#include "log/DebugLog.h"
#include "package/ArchiveLayout.h"
#include "platform/file_system.h"
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

void ShowDataFileCorrupted() {
  platform::ShowAppMessage(platform::kMsgDataFileCorrupted, platform::MessageIcon::kError);
}

// Lets through the members an export archive holds. A name that leaves the
// install folder is let through too, so that the reader refuses it and the
// extraction fails as for any damaged archive.
bool ExtractKnownMembersOnly(void* /*context*/, const char* path, int phase) {
  if (phase != 0 || !IsSafeMemberName(path)) return true;
  if (package::IsArchiveMemberName(platform::FromSystemCodePage(path))) return true;
  DEBUG_LOG(69, u"%s - %S is not a file of an export archive; not extracted", kFunc,
            std::string(path));
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

bool CImportSkvaSettings::ExtractFromZip(const std::u16string& archive_path) {
  DEBUG_LOG(68, u"%s - =>ExtractFromZip(wstrImportFile[%s])", kFunc, archive_path);
  bool result = false;
  std::string archive;
  std::string install;
  if (!import_paths::ToSystemPath(archive_path, &archive)) {
    ShowDataFileCorrupted();
    DEBUG_LOG(70, u"%s - Fail to open %s", kFunc, archive_path);
  } else if (!import_paths::ToSystemPath(m_wstrServerPath, &install)) {
    ShowDataFileCorrupted();
    DEBUG_LOG(70, u"%s - Fail to extract files from %s", kFunc, archive_path);
  } else {
    try {
      CUnzip unzip;
      if (unzip.Open(archive.c_str()) != 0) {
        ShowDataFileCorrupted();
        DEBUG_LOG(70, u"%s - Fail to open %s", kFunc, archive_path);
      } else if (unzip.ExtractAll(install.c_str(), true, true, &ExtractKnownMembersOnly) != 0) {
        ShowDataFileCorrupted();
        DEBUG_LOG(70, u"%s - Fail to extract files from %s", kFunc, archive_path);
      } else {
        result = true;
        MoveAlertFilesToAdmin(m_wstrServerPath);
      }
    } catch (CZipCommonException& e) {
      char text[kErrorTextSize] = {};
      e.GetErrorText(text, sizeof text);
      const std::u16string wide = platform::FromSystemCodePage(text);
      platform::CurrentUserInterface().ShowMessage(platform::kApplicationTitle, wide,
                                                   platform::MessageIcon::kError,
                                                   platform::MessageButtons::kOk);
      DEBUG_LOG(70, u"%s - Catch exception %s", kFunc, wide);
    } catch (...) {
      ShowDataFileCorrupted();
      DEBUG_LOG(70, u"%s - Catch exception", kFunc);
    }
  }
  DEBUG_LOG(68, u"%s - <=ExtractFromZip(), return %d", kFunc, result ? 1 : 0);
  return result;
}
