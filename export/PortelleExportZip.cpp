// Archive assembly: the export archive holds skva.dat and a fixed set of the
// server's configuration files (package/ArchiveLayout.h), named by their
// paths relative to the install folder, which is therefore the current
// folder while they are added.
#include <string>

#include "export/PortelleExport.h"
#include "log/DebugLog.h"
#include "package/ArchiveLayout.h"
#include "package/PackageDataFile.h"
#include "platform/file_system.h"
#include "platform/status.h"
#include "platform/system.h"
#include "platform/text.h"
#include "zip/Zip.h"
#include "zip/ZipCommon.h"
#include "zip/ZipException.h"

namespace {

constexpr char16_t kLogSource[] = u"PortelleExport";
constexpr char16_t kFunc[] = u"CExportSkvaSettings::AddFilesToZip";

// Text in the system code page, cut to at most `limit` bytes on a character
// boundary.
std::string Narrow(std::u16string_view text, size_t limit = platform::kMaxSystemPathBytes) {
  std::string narrow = platform::ToSystemCodePage(text);
  if (narrow.size() > limit) {
    size_t cut = limit;
    while (cut > 0 && (static_cast<unsigned char>(narrow[cut]) & 0xC0) == 0x80) --cut;
    narrow.resize(cut);
  }
  return narrow;
}

constexpr char kPartialSuffix[] = ".part.zip";

// The folder part of an archive name (with its separator) and the rest.
std::string FolderPart(const std::string& name) {
  const size_t slash = name.find_last_of("/\\");
  return slash == std::string::npos ? "" : name.substr(0, slash + 1);
}
std::string BasePart(const std::string& name) {
  const size_t slash = name.find_last_of("/\\");
  return slash == std::string::npos ? name : name.substr(slash + 1);
}

// The name the archive is built under: a hidden sibling of the final name,
// itself ending in ".zip" so that the writer keeps it as it is.
std::string PartialArchiveName(const std::string& final_name) {
  return FolderPart(final_name) + "." + BasePart(final_name) + "." +
         std::to_string(platform::GetCurrentProcessId()) + kPartialSuffix;
}

// Removes the partial archives of this name that killed exports left (their
// process no longer runs), and whatever sits under this run's own partial
// name (a link there is removed itself, never written through).
void RemoveLeftPartialArchives(const std::string& final_name, const std::string& partial_name) {
  const std::string folder = FolderPart(final_name);
  platform::RemoveFilesOfEndedProcesses(
      platform::FromSystemCodePage(folder.empty() ? "." : folder),
      platform::FromSystemCodePage("." + BasePart(final_name) + "."),
      platform::FromSystemCodePage(kPartialSuffix));
  const std::u16string partial = platform::FromSystemCodePage(partial_name);
  if (platform::IsSymbolicLink(partial)) platform::DeleteFile(partial);
}

// The zip layer's description of a failure.
std::string ErrorText(CZipCommonException& e) {
  char buffer[261] = {};
  e.GetErrorText(buffer, sizeof buffer);
  return buffer;
}

// Adds one member; a member that cannot be read is logged (unless `quiet`)
// and left out, so that the remaining members are still added. True when it
// was added; otherwise the system's error is left in platform::GetLastError.
bool AddMember(CZip& zip, const std::u16string& name, bool quiet = false) {
  const std::string narrow = Narrow(name);
  try {
    const int result = zip.AddFile(nullptr, narrow.c_str(), package::kMemberCompressionLevel);
    if (result == 0) return true;
    if (!quiet) DEBUG_LOG(69, u"%s - failed to add %s (%d)", kFunc, name, result);
    platform::SetLastError(platform::kErrorWriteFault);
    return false;
  } catch (CZipCommonException& e) {
    if (!quiet) DEBUG_LOG(69, u"%s - failed to add %s: %S", kFunc, name, ErrorText(e));
    platform::SetLastError(e.GetError() > 0 ? e.GetError() : platform::kErrorWriteFault);
    return false;
  }
}

// The existence test of the runtime (access in existence mode); false with
// the error number logged by the caller.
bool Exists(const std::u16string& name, int* error) {
  *error = 0;
  return platform::PathExists(name, error);
}

// Adds one member of the list. False only when the package data file could
// not be added (the reason in platform::GetLastError): an archive without it
// carries nothing to import.
bool AddListedMember(CZip& zip, const package::ArchiveMember& member) {
  using package::MissingFile;
  int error = 0;
  switch (member.kind) {
    case package::MemberKind::kFolderFiles: {
      const std::string folder = Narrow(member.name);
      try {
        zip.AddFolder(folder.c_str(), false, package::kMemberCompressionLevel);
      } catch (CZipCommonException& e) {
        DEBUG_LOG(69, u"%s - failed to add %s: %S", kFunc, member.name, ErrorText(e));
      }
      return true;
    }
    case package::MemberKind::kPackageDataFile:
      return AddMember(zip, member.name);
    case package::MemberKind::kCopy: {
      if (!Exists(member.source, &error)) {
        DEBUG_LOG(69, u"%s - DLPCLC_FILE does not exist, errno = %d", kFunc, error);
        return true;
      }
      const platform::Status copied = platform::CopyFile(member.source, member.name, false);
      if (!copied.ok()) {
        DEBUG_LOG(69,
                  u"%s - Copy DLPCLC_FILE file failed (%lu). DLP template will not be migrated.",
                  kFunc, static_cast<uint32_t>(copied.code()));
        return true;
      }
      AddMember(zip, member.name);
      platform::DeleteFile(member.name);
      return true;
    }
    case package::MemberKind::kFile:
      break;
  }
  // A member without existence test is simply absent when its file is.
  if (member.when_missing == MissingFile::kNotTested) {
    AddMember(zip, member.name, true);
    return true;
  }
  if (Exists(member.source, &error)) {
    AddMember(zip, member.name);
    return true;
  }
  switch (member.when_missing) {
    case MissingFile::kLogAlertFile:
      DEBUG_LOG(69, u"%s - %S does not exist, errno = %d", kFunc, Narrow(member.name), error);
      break;
    case MissingFile::kLogSortingRuleFile:
      DEBUG_LOG(69, u"%s - SORTINGRULE_FILE does not exist, errno = %d", kFunc, error);
      break;
    case MissingFile::kLogDlpIniFile:
      DEBUG_LOG(69, u"%s - DLP_INI_FILE does not exist, errno = %d", kFunc, error);
      break;
    case MissingFile::kLogDlpClcFile:
      DEBUG_LOG(69, u"%s - DLPCLC_FILE does not exist, errno = %d", kFunc, error);
      break;
    case MissingFile::kLogDlpExceptionFile:
      DEBUG_LOG(69, u"%s - DLP_EXCEPTION_FILE does not exist, errno = %d", kFunc, error);
      break;
    case MissingFile::kNotTested:
    case MissingFile::kSkippedSilently:
      break;
  }
  return true;
}

}  // namespace

bool CExportSkvaSettings::AddFilesToZip(const std::u16string& archive_path) {
  DEBUG_LOG(68, u"%s - =>AddFilesToZip(wstrZipFile[%s]", kFunc, archive_path);
  bool result = false;
  const std::string final_name = NormalizeArchiveName(Narrow(archive_path));
  const std::u16string final_path = platform::FromSystemCodePage(final_name);
  const std::string partial_name = PartialArchiveName(final_name);
  RemoveLeftPartialArchives(final_name, partial_name);
  {
    CZip zip;
    if (zip.Open(partial_name.c_str(), false) != 0) {
      DEBUG_LOG(70, u"%s - failed to open %s", kFunc, archive_path);
      DEBUG_LOG(70, u"%s - %S", kFunc, zip.open_status().message());
      m_failure = platform::FileFailureMessage(platform::kMsgArchiveNotWritten, final_path,
                                               zip.open_status());
    } else {
      bool complete = false;
      {
        const platform::ScopedCurrentFolder install_folder(m_wstrServerPath);
        if (!install_folder.entered()) {
          DEBUG_LOG(70, u"%s - cannot enter the install folder %s: %S", kFunc, m_wstrServerPath,
                    install_folder.status().message());
          m_failure = platform::FileFailureMessage(platform::kMsgInstallFileNotRead,
                                                   m_wstrServerPath, install_folder.status());
        } else {
          complete = true;
          for (const package::ArchiveMember& member : package::ArchiveMembers(m_dServerVer)) {
            if (!AddListedMember(zip, member)) {
              complete = false;
              m_failure = platform::FileFailureMessage(
                  platform::kMsgInstallFileNotRead, m_wstrServerPath + member.name,
                  platform::Status::Error(platform::GetLastError(), "add to archive", member.name));
            }
          }
        }
        // A directory that could not be written leaves an unusable archive:
        // that is a failed export, not a success.
        const bool closed = zip.Close(nullptr) == 0;
        if (!zip.write_status().ok()) {
          // A write that failed on the way (a full disk) is the reason,
          // whichever member or the directory it hit.
          complete = false;
          DEBUG_LOG(70, u"%s - cannot write %s: %S", kFunc, archive_path,
                    zip.write_status().message());
          m_failure = platform::FileFailureMessage(platform::kMsgArchiveNotWritten, final_path,
                                                   zip.write_status());
        } else if (!closed && complete) {
          complete = false;
          DEBUG_LOG(70, u"%s - cannot complete %s", kFunc, archive_path);
          m_failure = platform::FileFailureMessage(
              platform::kMsgArchiveNotWritten, final_path,
              platform::Status::Error(platform::kErrorWriteFault, "close archive", final_path));
        }
      }
      result = complete;
    }
  }
  const std::u16string partial = platform::FromSystemCodePage(partial_name);
  if (result) {
    const platform::Status moved = platform::MoveFile(partial, final_path, true);
    if (!moved.ok()) {
      DEBUG_LOG(70, u"%s - cannot write %s: %S", kFunc, archive_path, moved.message());
      m_failure = platform::FileFailureMessage(platform::kMsgArchiveNotWritten, final_path, moved);
      result = false;
    }
  }
  if (!result) platform::DeleteFile(partial);
  DEBUG_LOG(68, u"%s - <=AddFilesToZip", kFunc);
  return result;
}
