#include <gtest/gtest.h>

#include <string>

#include "dbclient/dbcl_CommandWords.h"
#include "import/PortelleImport.h"
#include "import/testing/ImportTestSupport.h"
#include "platform/string_table.h"

namespace import_testing {
namespace {

constexpr char16_t kUid[] = u"3f2504e0-4f89-41d3-9a0c-0305e82c3301";
constexpr char16_t kParent[] = u"7c9e6679-7425-40de-944b-e07fc1f90ae7";
constexpr char16_t kFunc[] = u"CImportSkvaSettings::AddDomains";

// `text` as UTF-16LE at `offset` of `body`.
void Put(std::string* body, size_t offset, std::u16string_view text) {
  const std::string bytes = Bytes(text);
  body->replace(offset, bytes.size(), bytes);
}

std::u16string Line(std::u16string_view message) { return EngineLine(kFunc, message); }

class AddDomainsTest : public ImportTest {
 protected:
  FakeDatabaseService service_;
};

TEST_F(AddDomainsTest, CreatesTheDomainFromARecordAtItsOffsetsAndLinksItToItsParent) {
  service_.Start();
  EXPECT_TRUE(importer_->AddDomains(kUid, u"Sales", u"Europe Sales", kParent));
  service_.Stop();

  const auto& requests = service_.requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0].command, kDbFindDomainUid);
  ASSERT_EQ(requests[0].tokens.size(), 5u);
  EXPECT_EQ(requests[0].tokens[2], u"Sales");
  EXPECT_EQ(requests[0].tokens[3], u"2");
  EXPECT_EQ(requests[0].tokens[4], kRoot);

  EXPECT_EQ(requests[1].command, kDbv2ClientOnStart);
  std::string expected(14464, '\0');
  expected[4] = '\x02';
  Put(&expected, 6, kUid);
  Put(&expected, 112, u"Sales");
  Put(&expected, 354, u"Europe Sales");
  Put(&expected, 5534, u"0.0");
  expected.replace(6792, 4, "\xFF\xFF\xFF\xFF");
  Put(&expected, 7158, kParent);
  EXPECT_EQ(CreationBody(requests[1]), expected);

  EXPECT_EQ(requests[2].text, std::u16string(u"DB_SET_DOMAIN_UID\t") + kUid + u"\t0\t" + kParent);
  EXPECT_EQ(DuplicateList(), "\xFF\xFE");
  EXPECT_TRUE(Messages().empty());
  EXPECT_TRUE(
      Logged(68, Line(std::u16string(u"wstrDomainUID[") + kUid +
                      u"], wstrDomainName[Europe Sales], wstrParentUID[" + kParent + u"]")));
  EXPECT_TRUE(Logged(
      68, Line(std::u16string(u"Uid(") + kUid + u"), name(Sales), parent(" + kParent + u")")));
  EXPECT_TRUE(Logged(68, Line(u"#<=AddDomains(), bRet = 1")));
}

TEST_F(AddDomainsTest, EntryNamesFoundAnywhereAreListedOnceEachUnderTheRootLookup) {
  service_.existing = {u"Sales"};
  service_.Start();
  // The second "HR" lies under the first one, yet it is looked up at the
  // root like every other domain, and found.
  constexpr char16_t kHr[] = u"11111111-0000-4000-8000-000000000001";
  constexpr char16_t kHr2[] = u"11111111-0000-4000-8000-000000000002";
  constexpr char16_t kOps[] = u"11111111-0000-4000-8000-000000000003";
  EXPECT_FALSE(importer_->ImportToDB(Record(kUid, u"Sales", u"Sales Team", kRoot)));
  EXPECT_TRUE(importer_->ImportToDB(Record(kHr, u"HR", u"Human Resources", kRoot)));
  EXPECT_FALSE(importer_->ImportToDB(Record(kHr2, u"HR", u"HR Copy", kHr)));
  EXPECT_TRUE(importer_->ImportToDB(Record(kOps, u"Ops", u"Operations", kHr)));
  EXPECT_FALSE(importer_->ImportToDB(Record(kUid, u"Ops", u"Operations\nEast", kRoot)));
  service_.Stop();

  EXPECT_EQ(DuplicateList(), "\xFF\xFE" + Bytes(u"Sales Team\\Sales\r\nHR Copy\\HR\r\n"
                                                u"Operations\r\nEast\\Ops\r\n"));
  const auto finds = service_.RequestsFor(kDbFindDomainUid);
  ASSERT_EQ(finds.size(), 5u);
  for (const auto& find : finds) EXPECT_EQ(find.tokens.back(), kRoot);
  EXPECT_EQ(service_.RequestsFor(kDbv2ClientOnStart).size(), 2u);
  // Only the domains created get a configuration.
  const auto imports = service_.RequestsFor(u"DB_IMPORT");
  ASSERT_EQ(imports.size(), 2u);
  EXPECT_EQ(ReadImportRequest(imports[0]).uid, kHr);
  EXPECT_EQ(ReadImportRequest(imports[1]).uid, kOps);
  EXPECT_EQ(Logged(Line(u"this Domain's entry already exist")), 3u);
  EXPECT_TRUE(Logged(68, Line(u"#<=AddDomains(), bRet = 0")));
  // Duplicates are neither created nor refused: the report lists them.
  EXPECT_EQ(importer_->summary().domains_created, 2);
  EXPECT_EQ(importer_->summary().domains_refused, 0);
}

TEST_F(AddDomainsTest, AnAbnormalStatusStillCountsAsCreated) {
  service_.on_start_status = 5;
  service_.Start();
  EXPECT_TRUE(importer_->ImportToDB(Record(kUid, u"Sales", u"Sales", kRoot)));
  service_.Stop();
  EXPECT_TRUE(Logged(70, Line(u"abnormal return code, nStatus = 5")));
  // Not linked, but its configuration is imported.
  EXPECT_TRUE(service_.RequestsFor(u"DB_SET_DOMAIN_UID").empty());
  EXPECT_EQ(service_.RequestsFor(u"DB_IMPORT").size(), 1u);
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(importer_->summary().domains_created, 1);
}

TEST_F(AddDomainsTest, RefusalAndFailedExchangesShowMessage134AndImportNothingMore) {
  const std::u16string message134 = platform::FormatMessageText(platform::kMsgDatabaseImportFailed);
  service_.on_start_status = -1;
  service_.Start();
  EXPECT_FALSE(importer_->ImportToDB(Record(kUid, u"Sales", u"Sales", kRoot)));
  service_.Stop();
  EXPECT_TRUE(Logged(70, Line(u"Failed to add a domain!")));
  EXPECT_EQ(service_.requests().size(), 2u);  // the lookup and the creation

  FakeDatabaseService broken;
  broken.on_start_fails = true;
  broken.Start();
  EXPECT_FALSE(importer_->ImportToDB(Record(kUid, u"Sales", u"Sales", kRoot)));
  broken.Stop();
  EXPECT_EQ(broken.requests().size(), 2u);
  EXPECT_TRUE(log_.Has(2, kSource, u"Failed to send command to DB"));

  // No service at all: the lookup finds nothing and the creation fails.
  EXPECT_FALSE(importer_->AddDomains(kUid, u"Sales", u"Sales", kRoot));
  EXPECT_EQ(Messages(), (std::vector<std::u16string>(3, message134)));
  EXPECT_EQ(DuplicateList(), "\xFF\xFE");
  // One per message 134.
  EXPECT_EQ(importer_->summary().domains_refused, 3);
  EXPECT_EQ(importer_->summary().domains_created, 0);
}

TEST_F(AddDomainsTest, ValuesLongerThanTheirFieldsAreNotCutButRefusedAndCounted) {
  service_.Start();
  const std::u16string longest_entry(120, u'e');
  EXPECT_TRUE(importer_->AddDomains(kUid, longest_entry, std::u16string(2500, u'n'), kParent));
  EXPECT_FALSE(importer_->AddDomains(kUid, std::u16string(121, u'f'), u"name", kParent));
  EXPECT_FALSE(importer_->AddDomains(kUid, u"entry", std::u16string(2501, u'n'), kParent));
  EXPECT_FALSE(importer_->AddDomains(std::u16string(kUid) + u"0", u"other", u"name", kParent));
  service_.Stop();

  const auto creations = service_.RequestsFor(kDbv2ClientOnStart);
  ASSERT_EQ(creations.size(), 1u);
  EXPECT_EQ(CreationBody(creations[0]).substr(112, 242),
            Bytes(longest_entry) + std::string(2, '\0'));
  const std::u16string kNotImported =
      u" does not fit the creation record; the domain is not "
      u"imported";
  EXPECT_TRUE(Logged(69, Line(u"domain " + std::u16string(121, u'f') + u" (" + kUid +
                              u"): the entry name" + kNotImported)));
  EXPECT_TRUE(Logged(
      69, Line(std::u16string(u"domain entry (") + kUid + u"): the domain name" + kNotImported)));
  EXPECT_TRUE(Logged(
      69, Line(std::u16string(u"domain other (") + kUid + u"0): the domain UID" + kNotImported)));
  EXPECT_TRUE(Messages().empty());
  // Each is counted, so that the user is told after the import.
  EXPECT_EQ(importer_->summary().domains_not_imported, 3);
  EXPECT_EQ(importer_->summary().domains_without_config, 0);
  EXPECT_EQ(importer_->summary().domains_created, 1);
  EXPECT_EQ(importer_->summary().domains_refused, 0);
}

TEST_F(AddDomainsTest, RecordsWithoutUidOrEntryNameAreSkipped) {
  service_.Start();
  SKVA_Server_Settings::ScanConfigs no_name = Record(kUid, u"Sales", u"Sales", kRoot);
  no_name.clear_computer_name();
  SKVA_Server_Settings::ScanConfigs no_uid = Record(kUid, u"Sales", u"Sales", kRoot);
  no_uid.clear_domain_uid();
  EXPECT_TRUE(importer_->ImportToDB(no_name));
  EXPECT_TRUE(importer_->ImportToDB(no_uid));
  service_.Stop();
  EXPECT_TRUE(service_.requests().empty());
  EXPECT_EQ(Logged(u"No domain UID or domain name was found; domain-level configurations were not "
                   u"imported."),
            2u);
}

TEST_F(AddDomainsTest, FieldsAreReadToTheirStoredLengthsButNeverPastTheirBytes) {
  service_.Start();
  SKVA_Server_Settings::ScanConfigs record = Record(kUid, u"Sales", u"Europe", kParent);
  record.set_domain_uid(Bytes(std::u16string(kUid) + u"-and-more"));
  record.set_computer_name(Bytes(u"SalesForce"));  // size 5: "Sales"
  record.set_domain_name(Bytes(u"Europe") + "x");  // an odd last byte
  record.set_domain_name_size(5000);
  record.set_parent_uid(Bytes(u"short"));
  EXPECT_TRUE(importer_->ImportToDB(record));

  SKVA_Server_Settings::ScanConfigs negative = Record(kParent, u"Ops", u"Ops", kRoot);
  negative.set_computer_name_size(-3);
  EXPECT_TRUE(importer_->ImportToDB(negative));
  service_.Stop();

  const auto creations = service_.RequestsFor(kDbv2ClientOnStart);
  ASSERT_EQ(creations.size(), 2u);
  const std::string body = CreationBody(creations[0]);
  EXPECT_EQ(body.substr(6, 74), Bytes(kUid) + std::string(2, '\0'));
  EXPECT_EQ(body.substr(112, 12), Bytes(u"Sales") + std::string(2, '\0'));
  EXPECT_EQ(body.substr(354, 14), Bytes(u"Europe") + std::string(2, '\0'));
  EXPECT_EQ(body.substr(7158, 12), Bytes(u"short") + std::string(2, '\0'));
  EXPECT_EQ(service_.RequestsFor(kDbFindDomainUid)[1].tokens[2], u"");
  EXPECT_EQ(CreationBody(creations[1]).substr(112, 2), std::string(2, '\0'));
}

}  // namespace
}  // namespace import_testing
