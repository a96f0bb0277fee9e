#include "import/ImportPlan.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <set>

#include "dbclient/dbcl_Command.h"
#include "dbclient/dbcl_CommandWords.h"
#include "dbclient/ipc_records.h"
#include "import/PortelleImport.h"
#include "import/SystemPath.h"
#include "log/DebugLog.h"
#include "package/ArchiveLayout.h"
#include "package/PackageDataFile.h"
#include "platform/file_system.h"
#include "platform/format.h"
#include "platform/ini_document.h"
#include "platform/system.h"
#include "platform/text.h"
#include "zip/Unzip.h"

namespace import_plan {
namespace {

constexpr char16_t kLogSource[] = u"ImportPlan";
constexpr char16_t kFunc[] = u"import_plan::MakePlan";
constexpr char16_t kGlobalSetting[] = u"Global Setting";
constexpr char16_t kDiskReserved[] = u"DiskReserved";

// The values the INI import keeps from the target whatever the archive holds.
struct KeptKey {
  const char16_t* section;
  const char16_t* key;
};
constexpr KeptKey kKeptKeys[] = {
    {u"Manual Scan Configuration", u"MoveDir"},
    {u"Real Time Scan Configuration", u"MoveDir"},
    {u"Prescheduled Scan Configuration", u"MoveDir"},
    {u"Scan Now Configuration", u"MoveDir"},
    {kGlobalSetting, u"ServerID"},
};

// Case-insensitive order of names, as the file names members land on.
struct NoCaseLess {
  bool operator()(const std::u16string& a, const std::u16string& b) const {
    return platform::FoldCaseCopy(a) < platform::FoldCaseCopy(b);
  }
};
using NameSet = std::set<std::u16string, NoCaseLess>;

bool CheckArchive(CUnzip& unzip, const std::string& archive, const std::string& install,
                  SKVA_Server_Settings::SettingAggregation* package,
                  package::PackageRecords* records, std::u16string* reason) {
  if (unzip.Open(archive.c_str()) != 0) {
    *reason = CImportSkvaSettings::WhyNotOpened(platform::FromSystemCodePage(archive));
    return false;
  }
  const auto checked = CImportSkvaSettings::VerifyArchive(unzip, install, package, records, reason);
  if (checked == CImportSkvaSettings::ArchiveCheck::kOutOfMemory) {
    *reason = u"there is not enough memory to read its skva.dat";
  }
  return checked == CImportSkvaSettings::ArchiveCheck::kSound;
}

// The members the extraction would write: those an export archive holds,
// of at least one byte, except the package.
bool ListExtractedMember(void* context, const char* path, int phase) {
  if (phase == 0 && IsSafeMemberName(path)) {
    const std::u16string name = platform::FromSystemCodePage(path);
    if (!platform::EqualsIgnoreCase(name, package::kPackageDataFileName) &&
        package::IsArchiveMemberName(name)) {
      static_cast<std::vector<std::u16string>*>(context)->push_back(name);
    }
  }
  return false;  // nothing is written
}

void PlanFiles(const std::vector<std::u16string>& members, ImportPlan* plan) {
  NameSet written;
  const auto write = [&](const std::u16string& name) {
    if (!written.insert(name).second) return;
    (platform::PathExists(plan->install + name) ? plan->files_replaced : plan->files_added)
        .push_back(name);
  };
  for (const std::u16string& name : members) write(name);
  // The alert files and ssnotify.ini at the top, found there or brought by
  // the archive, move into "Admin\".
  std::vector<std::u16string> moved = {u"ssnotify.ini"};
  for (const std::u16string_view name : package::kAlertFileNames) moved.emplace_back(name);
  for (const std::u16string& name : moved) {
    if (written.count(name) == 0 && !platform::PathExists(plan->install + name)) continue;
    write(u"Admin\\" + name);
    plan->files_removed.push_back(name);
  }
  // The DLP template migration deletes the template copy after its run.
  const std::u16string dlp_copy(package::kDlpClcCopyName);
  if (written.count(dlp_copy) != 0) plan->files_removed.push_back(dlp_copy);
}

void PlanComponentCalls(const SKVA_Server_Settings::SettingAggregation& package, ImportPlan* plan) {
  plan->component_calls.push_back(platform::Format(
      u"BsnPfwCommon PFWMigrateFirewallSettings(\"%sPrivate\\PFW\\\")", plan->install));
  plan->component_calls.push_back(
      platform::Format(u"BsnPfwCommon PFWCreateServerPackedPfwFile(\"%s\")", plan->install));
  plan->component_calls.push_back(
      platform::FromSystemCodePage(CImportSkvaSettings::DlpTemplateCommandLine(
          package.original_skva_ver(), package.original_servicepack_ver())));
}

// Domains in package order, as the import would meet them: a domain created
// earlier in the same import makes a later one of its entry name a
// duplicate.
void PlanDomains(const package::PackageRecords& records, ImportPlan* plan) {
  NameSet created;
  SKVA_Server_Settings::ScanConfigs record;
  for (size_t i = 0; i < records.size(); ++i) {
    records.Parse(i, &record);
    if (!record.has_domain_uid() || !record.has_computer_name()) continue;
    DomainPlan domain;
    domain.uid =
        CImportSkvaSettings::RecordText(record.domain_uid(), CImportSkvaSettings::kUidChars);
    domain.entry_name =
        CImportSkvaSettings::RecordText(record.computer_name(), record.computer_name_size());
    domain.domain_name =
        CImportSkvaSettings::RecordText(record.domain_name(), record.domain_name_size());
    domain.parent_uid =
        CImportSkvaSettings::RecordText(record.parent_uid(), CImportSkvaSettings::kUidChars);
    tagCln_CgiOnStart fits;
    if (created.count(domain.entry_name) != 0 ||
        CImportSkvaSettings::EntryNameExists(domain.entry_name)) {
      domain.fate = DomainFate::kDuplicate;
    } else if (!fits.SetDomainUid(domain.uid) || !fits.SetEntryName(domain.entry_name) ||
               !fits.SetDomainName(domain.domain_name) || !fits.SetParentUid(domain.parent_uid)) {
      domain.fate = DomainFate::kNotImported;
    } else {
      created.insert(domain.entry_name);
    }
    plan->domains.push_back(std::move(domain));
  }
}

// A folder of its own for the copies the INI merge works on, removed with
// everything in it.
class ScratchFolder {
 public:
  ScratchFolder() {
    path_ = platform::TemporaryFolder() + platform::Format(u"portelle-plan-%u-%u",
                                                           platform::GetCurrentProcessId(),
                                                           platform::GetTickCount());
    created_ =
        platform::CreateFolder(path_).ok() && platform::CreateFolder(path_ + u"/private").ok();
  }
  ~ScratchFolder() { Remove(path_); }
  bool created() const { return created_; }
  std::u16string install() const { return path_ + u"/"; }

 private:
  static void Remove(const std::u16string& folder) {
    std::vector<platform::FolderEntry> entries;
    platform::ListFolder(folder, &entries);
    for (const platform::FolderEntry& entry : entries) {
      const std::u16string path = folder + u"/" + entry.name;
      if (entry.is_folder) {
        Remove(path);
      } else {
        platform::DeleteFile(path);
      }
    }
    platform::RemoveFolder(folder);
  }

  std::u16string path_;
  bool created_ = false;
};

std::string FileBytes(const std::u16string& path) {
  std::string bytes;
  platform::ReadFile(path, &bytes);
  return bytes;
}

// The keys whose values differ between `before` and `after`, file order of
// `after` first, then the keys the merge removed.
void DiffIni(std::u16string_view file, const platform::IniDocument& before,
             const platform::IniDocument& after, std::vector<IniChange>* changes) {
  const auto names = [](const std::u16string& list) {
    std::vector<std::u16string> items;
    for (size_t start = 0; start < list.size();) {
      const size_t end = list.find(u'\0', start);
      items.push_back(list.substr(start, end - start));
      if (end == std::u16string::npos) break;
      start = end + 1;
    }
    return items;
  };
  NameSet sections_seen;
  for (const platform::IniDocument* document : {&after, &before}) {
    for (const std::u16string& section : names(document->SectionNames())) {
      if (!sections_seen.insert(section).second && document == &after) continue;
      for (const std::u16string& key : names(document->KeyNames(section))) {
        IniChange change;
        std::u16string_view value;
        change.had_value = before.FindValue(section, key, &value);
        change.current = value;
        change.has_value = after.FindValue(section, key, &value);
        change.next = value;
        if (document == &before && change.has_value) continue;  // seen in `after`
        if (change.had_value == change.has_value && change.current == change.next) continue;
        change.file = file;
        change.section = section;
        change.key = key;
        changes->push_back(std::move(change));
      }
    }
  }
}

// The values the merge keeps although the archive holds others.
void AddKeptValues(const platform::IniDocument& target, const platform::IniDocument& archive,
                   std::vector<IniChange>* changes) {
  const auto kept = [&](std::u16string_view section, std::u16string_view key,
                        bool (*differs)(std::u16string_view, std::u16string_view)) {
    std::u16string_view theirs;
    if (!archive.FindValue(section, key, &theirs)) return;
    std::u16string_view ours;
    const bool had = target.FindValue(section, key, &ours);
    if (!differs(ours, theirs)) return;
    IniChange change;
    change.file = kMainIniName;
    change.section = section;
    change.key = key;
    change.had_value = change.has_value = had;
    change.current = change.next = ours;
    change.kept = true;
    change.archive_value = theirs;
    changes->push_back(std::move(change));
  };
  for (const KeptKey& key : kKeptKeys) {
    kept(key.section, key.key,
         [](std::u16string_view ours, std::u16string_view theirs) { return ours != theirs; });
  }
  kept(kGlobalSetting, kDiskReserved, [](std::u16string_view ours, std::u16string_view theirs) {
    const auto number = [](std::u16string_view text) {
      return static_cast<int32_t>(std::strtol(platform::Utf16ToUtf8(text).c_str(), nullptr, 10));
    };
    return number(theirs) < number(ours);
  });
}

// Runs the import's own INI merge on copies of the target's two INI files
// and lists what it changed.
bool PlanIni(const SKVA_Server_Settings::SettingAggregation& package, ImportPlan* plan,
             platform::AppMessage* failure) {
  ScratchFolder scratch;
  if (!scratch.created()) {
    *failure = platform::AppMessage(platform::kMsgInstallFileNotWritten, scratch.install(),
                                    u"the preview's scratch folder cannot be created");
    return false;
  }
  const std::u16string copy = scratch.install();
  for (const std::u16string_view name : {kMainIniName, kPrivateIniName}) {
    const std::u16string target = plan->install + std::u16string(name);
    if (platform::PathExists(target)) {
      const platform::Status copied =
          platform::CopyFile(target, copy + std::u16string(name), false);
      if (!copied.ok()) {
        *failure = platform::FileFailureMessage(platform::kMsgInstallFileNotRead, target, copied);
        return false;
      }
    }
  }
  DEBUG_LOG(68, u"%s - preview: merging the INI settings into copies in %s", kFunc, copy);
  std::u16string current;
  platform::GetCurrentFolder(&current);
  // The engine starts its duplicate-domain report in the current folder:
  // the scratch folder takes it.
  platform::SetCurrentFolder(copy);
  {
    CImportSkvaSettings merge(copy);
    merge.SetPackage(package);
    merge.ImportToIni();
  }
  platform::SetCurrentFolder(current);

  for (const std::u16string_view name : {kMainIniName, kPrivateIniName}) {
    const platform::IniDocument before(FileBytes(plan->install + std::u16string(name)));
    const platform::IniDocument after(FileBytes(copy + std::u16string(name)));
    DiffIni(name, before, after, &plan->ini);
  }
  const platform::IniDocument target(FileBytes(plan->install + std::u16string(kMainIniName)));
  const platform::IniDocument archive(package.global_config_string());
  AddKeptValues(target, archive, &plan->ini);
  return true;
}

}  // namespace

std::vector<std::u16string> ImportPlan::TouchedFiles() const {
  std::vector<std::u16string> files = {std::u16string(kMainIniName),
                                       std::u16string(kPrivateIniName)};
  NameSet seen(files.begin(), files.end());
  for (const auto* list : {&files_replaced, &files_added, &files_removed}) {
    for (const std::u16string& name : *list) {
      if (seen.insert(name).second) files.push_back(name);
    }
  }
  return files;
}

bool MakePlan(const std::u16string& install_path, const std::u16string& archive_path,
              const PlanOptions& options, ImportPlan* plan, platform::AppMessage* failure) {
  *plan = ImportPlan();
  plan->archive = archive_path;
  plan->install = install_path;
  std::string archive;
  std::string install;
  if (!import_paths::ToSystemPath(archive_path, &archive)) {
    *failure = platform::AppMessage(platform::kMsgArchivePathTooLong, archive_path);
    return false;
  }
  if (!import_paths::ToSystemPath(install_path, &install)) {
    *failure = platform::AppMessage(
        platform::kMsgArchiveRefused, archive_path,
        u"the install folder's path " + install_path + u" is longer than 259 bytes");
    return false;
  }
  SKVA_Server_Settings::SettingAggregation package;
  package::PackageRecords records;
  std::vector<std::u16string> members;
  std::u16string reason;
  try {
    CUnzip unzip;
    if (CheckArchive(unzip, archive, install, &package, &records, &reason)) {
      unzip.ExtractAll(install.c_str(), true, false, &ListExtractedMember, &members);
    }
  } catch (...) {
    reason = u"it cannot be read";
  }
  if (!reason.empty()) {
    DEBUG_LOG(69, u"%s - %s would be refused: %s", kFunc, archive_path, reason);
    *failure = platform::AppMessage(platform::kMsgArchiveRefused, archive_path, reason);
    return false;
  }
  PlanFiles(members, plan);
  PlanComponentCalls(package, plan);
  if (options.domains) PlanDomains(records, plan);
  if (options.ini && !PlanIni(package, plan, failure)) return false;
  return true;
}

}  // namespace import_plan
