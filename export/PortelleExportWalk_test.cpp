// The walk of the domain tree against a scripted database service whose
// tree need not be a tree: domains listed under two parents, links back up
// the tree, chains deeper than the walk goes.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "dbclient/dbcl_Command.h"
#include "dbclient/testing/pipe_test_peer.h"
#include "export/PortelleExport.h"
#include "platform/text.h"

namespace {

using dbclient_testing::DbAnswer;
using dbclient_testing::DbRequest;
using dbclient_testing::DbScriptedPeer;

constexpr char16_t kRoot[] = u"00000000-0000-0000-0000-000000000000";
// A walk that lists more domains than this has gone wrong (it walks domains
// again and again); the service then answers every list as empty so that
// the walk ends and the test fails on its counts instead of hanging.
constexpr size_t kListBudget = 5000;

// ASCII text of a UID, for failure messages.
std::string Narrow(std::u16string_view uid) { return std::string(uid.begin(), uid.end()); }

// `prefix` followed by the decimal `number`.
std::u16string Numbered(std::u16string prefix, size_t number) {
  for (char c : std::to_string(number)) prefix += static_cast<char16_t>(c);
  return prefix;
}

class WalkTest : public dbclient_testing::PipeFolderTest {
 protected:
  WalkTest() { SetDbReplyTimeoutUnitForTesting(std::chrono::milliseconds(10)); }
  ~WalkTest() override { SetDbReplyTimeoutUnitForTesting(CPipeServer::kSecond); }

  // Walks the service's tree (`children`: the UIDs each domain lists, in
  // order) as a server of `version` and returns the exporter.
  std::unique_ptr<CExportSkvaSettings> Walk(double version = 10.6,
                                            CExportSkvaSettings::GuidSource guids = nullptr,
                                            platform::ProgressObserver* progress = nullptr) {
    DbScriptedPeer peer([this](const DbRequest& request) { return Answer(request); },
                        /*keep_requests=*/false);
    auto exporter = std::make_unique<CExportSkvaSettings>(version, dir_.Wide("server/"), 0, 0);
    if (guids != nullptr) exporter->SetGuidSourceForTesting(guids);
    exporter->SetProgressObserver(progress);
    EXPECT_TRUE(exporter->CreateMigrater());
    EXPECT_TRUE(exporter->ExportFromDB());
    peer.Stop();
    return exporter;
  }

  // The entry names (each domain's UID here) of the records, in order.
  static std::vector<std::u16string> Entries(const CExportSkvaSettings& exporter) {
    std::vector<std::u16string> entries;
    const SKVA_Server_Settings::SettingAggregation package = exporter.package();
    for (const auto& record : package.scanconfigs()) {
      entries.push_back(platform::Utf16LeToText(record.computer_name()));
    }
    return entries;
  }

  // The new UID of the record whose entry name is `entry`.
  static std::u16string NewUid(const CExportSkvaSettings& exporter, const std::u16string& entry) {
    const SKVA_Server_Settings::SettingAggregation package = exporter.package();
    for (const auto& record : package.scanconfigs()) {
      if (platform::Utf16LeToText(record.computer_name()) == entry)
        return platform::Utf16LeToText(record.domain_uid());
    }
    return u"<none>";
  }
  static std::u16string ParentUid(const CExportSkvaSettings& exporter,
                                  const std::u16string& entry) {
    const SKVA_Server_Settings::SettingAggregation package = exporter.package();
    for (const auto& record : package.scanconfigs()) {
      if (platform::Utf16LeToText(record.computer_name()) == entry)
        return platform::Utf16LeToText(record.parent_uid());
    }
    return u"<none>";
  }

  std::map<std::u16string, std::vector<std::u16string>> children;
  // How often each UID's children were asked for (on the peer's thread; read
  // after Walk).
  std::map<std::u16string, size_t> lists;

 private:
  DbAnswer Answer(const DbRequest& request) {
    if (request.command == u"DB_GET_DOMAIN" && request.tokens.size() == 4) {
      const std::u16string& uid = request.tokens[3];
      size_t total = 0;
      for (const auto& [_, count] : lists) total += count;
      ++lists[uid];
      std::u16string list;
      if (total < kListBudget) {
        for (const std::u16string& child : children[uid]) list += child + u"\t" + child + u"\t1\n";
      }
      return DbScriptedPeer::TextReply(list);
    }
    if (request.command == u"DB_GET_CLN_DOMAIN_NAME_AND_UID" && request.tokens.size() >= 3) {
      return DbScriptedPeer::TextReply(u"Name " + request.tokens[2] + u"\t" + request.tokens[2]);
    }
    return std::string();  // every other query: an empty reply
  }
};

TEST_F(WalkTest, ADomainListedTwiceOrAboveItselfIsWalkedOnce) {
  // D lies under P and under Q; D lists its ancestor P, the root and E.
  children[kRoot] = {u"P", u"Q"};
  children[u"P"] = {u"D"};
  children[u"Q"] = {u"D"};
  children[u"D"] = {u"P", kRoot, u"E"};
  dbclient_testing::LogRecorder log;
  const auto exporter = Walk();
  EXPECT_EQ(Entries(*exporter), (std::vector<std::u16string>{u"E", u"D", u"P", u"Q"}));
  // D hangs where it was met first.
  EXPECT_EQ(ParentUid(*exporter, u"D"), NewUid(*exporter, u"P"));
  EXPECT_EQ(ParentUid(*exporter, u"E"), NewUid(*exporter, u"D"));
  EXPECT_EQ(ParentUid(*exporter, u"Q"), kRoot);
  for (const char16_t* uid : {kRoot, u"P", u"Q", u"D", u"E"}) {
    EXPECT_EQ(lists[uid], 1u) << Narrow(uid);
  }
  EXPECT_EQ(exporter->domains_left_out(), 0u);  // nothing is missing from the package
  EXPECT_TRUE(log.Has(69, u"PortelleExport",
                      u"CExportSkvaSettings::DigDown - [D] below [Q] was met before; not walked "
                      u"again"));
  EXPECT_TRUE(log.Has(69, u"PortelleExport",
                      u"CExportSkvaSettings::DigDown - [P] below [D] was met before; not walked "
                      u"again"));
}

TEST_F(WalkTest, ADiamondFortyLevelsDeepEndsWithEachDomainOnce) {
  // Two domains on each level, each listing both domains of the next level:
  // 2^40 paths lead to the last level.
  constexpr int kLevels = 40;
  auto name = [](int level, char16_t side) {
    return Numbered(u"L", static_cast<size_t>(level)) + side;
  };
  children[kRoot] = {name(0, u'a'), name(0, u'b')};
  for (int level = 0; level + 1 < kLevels; ++level) {
    for (char16_t side : {u'a', u'b'}) {
      children[name(level, side)] = {name(level + 1, u'a'), name(level + 1, u'b')};
    }
  }
  const auto exporter = Walk();
  const std::vector<std::u16string> entries = Entries(*exporter);
  EXPECT_EQ(entries.size(), 2u * kLevels);
  EXPECT_EQ(std::set<std::u16string>(entries.begin(), entries.end()).size(), 2u * kLevels);
  EXPECT_EQ(lists.size(), 2u * kLevels + 1);  // the root's list too
  for (const auto& [uid, count] : lists) EXPECT_EQ(count, 1u) << Narrow(uid);
  EXPECT_EQ(exporter->domains_left_out(), 0u);
}

TEST_F(WalkTest, AChainDeeperThanTheWalkCountsTheDomainsLeftOut) {
  // root -> c1 -> c2 -> ... -> c300, and S under the root after c1. The
  // deepest domain walked (c255) also lists X, the root's child S and c1.
  constexpr size_t kChain = 300;
  auto chain = [](size_t i) { return Numbered(u"c", i); };
  children[kRoot] = {chain(1), u"S"};
  for (size_t i = 1; i < kChain; ++i) children[chain(i)] = {chain(i + 1)};
  const size_t deepest = CExportSkvaSettings::kMaxTreeDepth - 1;
  children[chain(deepest)].insert(children[chain(deepest)].end(), {u"X", u"S", chain(1)});

  const auto exporter = Walk();
  const std::vector<std::u16string> entries = Entries(*exporter);
  // c1 .. c255 and S; below c255 neither c256 nor X is walked.
  ASSERT_EQ(entries.size(), deepest + 1);
  EXPECT_EQ(entries.front(), chain(deepest));
  EXPECT_EQ(entries.back(), u"S");
  EXPECT_EQ(lists.count(chain(deepest + 1)), 0u);
  EXPECT_EQ(lists.count(u"X"), 0u);
  // c256 and X are missing. S, cut off below c255 too, was walked from the
  // root afterwards; c1 is met again, not missing.
  EXPECT_EQ(exporter->domains_left_out(), 2u);
}

TEST_F(WalkTest, ATreeWithinTheDepthLeavesNothingOut) {
  std::u16string parent = kRoot;
  for (size_t i = 1; i < CExportSkvaSettings::kMaxTreeDepth; ++i) {
    const std::u16string uid = Numbered(u"n", i);
    children[parent] = {uid};
    parent = uid;
  }
  const auto exporter = Walk();
  EXPECT_EQ(Entries(*exporter).size(), CExportSkvaSettings::kMaxTreeDepth - 1);
  EXPECT_EQ(exporter->domains_left_out(), 0u);
}

// When the system can make no GUID, each domain keeps its old UID with its
// first three characters set to "111": still one UID per domain, and the
// parents point at the children's new UIDs, in the tree and in the flat list.
TEST_F(WalkTest, WithoutNewGuidsTheOldUidsMarkedStandIn) {
  const std::u16string a = u"ABCD0001-0000-0000-0000-000000000001";
  const std::u16string b = u"ABCD0002-0000-0000-0000-000000000002";
  children[kRoot] = {a};
  children[a] = {b};
  const auto no_guid = []() { return std::u16string(); };
  auto exporter = Walk(10.6, no_guid);
  EXPECT_EQ(NewUid(*exporter, a), u"111D0001-0000-0000-0000-000000000001");
  EXPECT_EQ(NewUid(*exporter, b), u"111D0002-0000-0000-0000-000000000002");
  EXPECT_EQ(ParentUid(*exporter, a), kRoot);
  EXPECT_EQ(ParentUid(*exporter, b), u"111D0001-0000-0000-0000-000000000001");

  exporter = Walk(10.0, no_guid);
  EXPECT_EQ(NewUid(*exporter, a), u"111D0001-0000-0000-0000-000000000001");
  EXPECT_EQ(ParentUid(*exporter, a), kRoot);

  // With GUIDs, every domain gets a fresh one.
  exporter = Walk(10.6, []() { return std::u16string(u"FRESH-GUID"); });
  EXPECT_EQ(NewUid(*exporter, b), u"FRESH-GUID");
}

TEST_F(WalkTest, TheFlatListOfOldServersExportsADomainListedTwiceOnce) {
  children[kRoot] = {u"A", u"B", u"A"};
  const auto exporter = Walk(10.0);
  EXPECT_EQ(Entries(*exporter), (std::vector<std::u16string>{u"A", u"B"}));
  EXPECT_EQ(exporter->domains_left_out(), 0u);
}

class RecordingProgress : public platform::ProgressObserver {
 public:
  void OnDomainsDone(int done, int total) override { reports.emplace_back(done, total); }
  std::vector<std::pair<int, int>> reports;
};

TEST_F(WalkTest, ProgressCountsEachRecordAsItIsFinishedWithoutATotal) {
  children[kRoot] = {u"A", u"D"};
  children[u"A"] = {u"B", u"C"};
  constexpr int kUnknown = platform::ProgressObserver::kUnknownTotal;
  for (const double version : {10.6, 10.0}) {
    RecordingProgress progress;
    const auto exporter = Walk(version, nullptr, &progress);
    const int records = exporter->package().scanconfigs_size();
    ASSERT_EQ(records, version > 10.01 ? 4 : 2);
    ASSERT_EQ(progress.reports.size(), static_cast<size_t>(records) + 1) << version;
    for (int i = 0; i <= records; ++i) {
      EXPECT_EQ(progress.reports[i], std::make_pair(i, kUnknown)) << version;
    }
  }
}

}  // namespace
