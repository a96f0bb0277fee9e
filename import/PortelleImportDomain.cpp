// Creation of one domain of the package on the target server, or its entry
// in the duplicate-domain report.
#include <string>

#include "dbclient/dbcl_Command.h"
#include "dbclient/dbcl_CommandWords.h"
#include "dbclient/ipc_records.h"
#include "import/PortelleImport.h"
#include "import/TextModeFile.h"
#include "log/DebugLog.h"
#include "platform/string_table.h"
#include "platform/text.h"

namespace {

constexpr char16_t kLogSource[] = u"PortelleImport";
constexpr char16_t kFunc[] = u"CImportSkvaSettings::AddDomains";
// What the creation record carries besides the names.
constexpr uint16_t kRecordType = 2;
constexpr char16_t kVersionText[] = u"0.0";
constexpr int32_t kInitialValue = -1;

// The reply of a lookup as text: its whole characters up to the first NUL.
std::u16string ReplyText(const std::string& reply) {
  std::u16string text = platform::Utf16LeToText(reply);
  text.resize(std::char_traits<char16_t>::length(text.c_str()));
  return text;
}

// Fills the creation record. A value that does not fit its field is not cut
// (a cut UID or name would create a different domain): the field's name is
// returned, or null when everything fits.
const char16_t* FillRecord(tagCln_CgiOnStart* record, const std::u16string& domain_uid,
                           const std::u16string& entry_name, const std::u16string& domain_name,
                           const std::u16string& parent_uid) {
  record->SetRecordType(kRecordType);
  record->SetInitialValue(kInitialValue);
  record->SetVersionText(kVersionText);
  if (!record->SetDomainUid(domain_uid)) return u"domain UID";
  if (!record->SetEntryName(entry_name)) return u"entry name";
  if (!record->SetDomainName(domain_name)) return u"domain name";
  if (!record->SetParentUid(parent_uid)) return u"parent UID";
  return nullptr;
}

void ShowDatabaseImportFailed() {
  platform::ShowAppMessage(platform::kMsgDatabaseImportFailed, platform::MessageIcon::kError);
}

}  // namespace

bool CImportSkvaSettings::EntryNameExists(const std::u16string& entry_name) {
  std::string reply;
  if (!dbFindDomainUid(entry_name, kDbDomainListType, kDbRootDomainUid, &reply)) return false;
  return !ReplyText(reply).empty();
}

bool CImportSkvaSettings::AddDomains(const std::u16string& domain_uid,
                                     const std::u16string& entry_name,
                                     const std::u16string& domain_name,
                                     const std::u16string& parent_uid) {
  DEBUG_LOG(68, u"%s - wstrDomainUID[%s], wstrDomainName[%s], wstrParentUID[%s]", kFunc, domain_uid,
            domain_name, parent_uid);
  bool result = true;
  if (EntryNameExists(entry_name)) {
    const platform::Status listed = text_mode::AppendUnicodeText(
        kDuplicateDomainListName, domain_name + u"\\" + entry_name + u"\n");
    if (!listed.ok()) {
      DEBUG_LOG(69, u"%s - cannot list the duplicate domain: %S", kFunc, listed.message());
    }
    DEBUG_LOG(69, u"%s - this Domain's entry already exist", kFunc);
    result = false;
  } else {
    tagCln_CgiOnStart record;
    if (const char16_t* field =
            FillRecord(&record, domain_uid, entry_name, domain_name, parent_uid)) {
      ++m_summary.domains_not_imported;
      DEBUG_LOG(69,
                u"%s - domain %s (%s): the %s does not fit the creation record; the domain is "
                u"not imported",
                kFunc, entry_name, domain_uid, field);
      result = false;
    } else {
      DEBUG_LOG(68, u"%s - Uid(%s), name(%s), parent(%s)", kFunc, domain_uid, entry_name,
                parent_uid);
      int32_t status = 0;
      if (!dbClientOnStart(record, &status)) {
        ShowDatabaseImportFailed();
        DEBUG_LOG(2, u"Failed to send command to DB");
        ++m_summary.domains_refused;
        result = false;
      } else if (status == kDbClientOnStartCreated) {
        dbSetDomainUid(domain_uid, parent_uid);
        ++m_summary.domains_created;
      } else if (status == kDbClientOnStartRefused) {
        ShowDatabaseImportFailed();
        DEBUG_LOG(70, u"%s - Failed to add a domain!", kFunc);
        ++m_summary.domains_refused;
        result = false;
      } else {
        // The service's own affair; the domain counts as created.
        DEBUG_LOG(70, u"%s - abnormal return code, nStatus = %d", kFunc, status);
        ++m_summary.domains_created;
      }
    }
  }
  DEBUG_LOG(68, u"%s - #<=AddDomains(), bRet = %d", kFunc, result ? 1 : 0);
  return result;
}
