#include "dbclient/ipc_records.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dbclient/SettingContainer.h"
#include "dbclient/testing/ipc_test_bytes.h"

namespace {

using ipc_test::Bytes;
using ipc_test::DwordItem;
using ipc_test::Le32;
using ipc_test::Utf16Le;

const std::u16string kUid = u"3f2504e0-4f89-11d3-9a0c-0305e82c3301";
const std::u16string kRoot = u"00000000-0000-0000-0000-000000000000";

TEST(CgiOnStartTest, DomainFieldsLieAtTheirOffsetsAndEverythingElseIsZero) {
  tagCln_CgiOnStart record;
  record.SetRecordType(2);
  ASSERT_TRUE(record.SetDomainUid(kUid));
  ASSERT_TRUE(record.SetEntryName(u"Sales"));
  ASSERT_TRUE(record.SetDomainName(u"Europe\\Sales"));
  ASSERT_TRUE(record.SetVersionText(u"0.0"));
  record.SetInitialValue(-1);
  ASSERT_TRUE(record.SetParentUid(kRoot));

  CSerializer s;
  ASSERT_TRUE(s.WriteObject(record));
  const std::string bytes = Bytes(s);
  ASSERT_EQ(bytes.size(), 8u + 4 + 14464);
  EXPECT_EQ(bytes.substr(8, 4), std::string("\x80\x38\x00\x00", 4));  // 14464
  std::string expected(14464, '\0');
  expected.replace(4, 2, std::string("\x02\x00", 2));
  expected.replace(6, 72, Utf16Le(kUid));
  expected.replace(112, 10, Utf16Le(u"Sales"));
  expected.replace(354, 24, Utf16Le(u"Europe\\Sales"));
  expected.replace(5534, 6, Utf16Le(u"0.0"));
  expected.replace(6792, 4, std::string("\xFF\xFF\xFF\xFF", 4));
  expected.replace(7158, 72, Utf16Le(kRoot));
  EXPECT_EQ(bytes.substr(12), expected);

  CSerializer r;
  r.Load(bytes.data(), static_cast<uint32_t>(bytes.size()));
  tagCln_CgiOnStart back;
  ASSERT_TRUE(r.ReadObject(back));
  EXPECT_EQ(back.GetDomainUid(), kUid);
  EXPECT_EQ(back.GetEntryName(), u"Sales");
  EXPECT_EQ(back.GetDomainName(), u"Europe\\Sales");
  EXPECT_EQ(back.GetVersionText(), u"0.0");
  EXPECT_EQ(back.GetParentUid(), kRoot);
  EXPECT_EQ(back.GetRecordType(), 2);
  EXPECT_EQ(back.GetInitialValue(), -1);
}

TEST(CgiOnStartTest, ValuesThatDoNotFitWithTheirNulAreRefused) {
  tagCln_CgiOnStart record;
  const std::u16string longest(120, u'e');
  ASSERT_TRUE(record.SetEntryName(longest));
  EXPECT_FALSE(record.SetEntryName(longest + u"e"));
  EXPECT_EQ(record.GetEntryName(), longest);  // left as it was
  EXPECT_FALSE(record.SetDomainName(std::u16string(2501, u'd')));
  EXPECT_TRUE(record.SetDomainName(std::u16string(2500, u'd')));
  EXPECT_FALSE(record.SetDomainUid(kUid + u"0"));
  // A shorter value clears what a longer one left behind.
  ASSERT_TRUE(record.SetEntryName(u"ab"));
  EXPECT_EQ(record.GetEntryName(), u"ab");
  EXPECT_EQ(record.GetBody()[112 + 4], 0);
  EXPECT_EQ(record.GetBody()[112 + 2 * 119], 0);
}

TEST(CgiOnStartTest, ALongerBlockIsNotRead) {
  CSerializer s;
  const std::string block(14465, 'x');
  s.WriteBlock(block.data(), static_cast<uint32_t>(block.size()));
  CSerializer r;
  r.Load(s.GetBuffer(), static_cast<uint32_t>(s.GetDataSize()));
  tagCln_CgiOnStart record;
  EXPECT_FALSE(r.ReadObject(record));
  EXPECT_EQ(r.GetCurPos(), 8u);
  EXPECT_EQ(record.GetBody()[0], 0);
}

TEST(SpywareWhiteListTest, FillFromReplyTextStopsAtAnEmptyTokenOrTheMaximum) {
  CSettingContainerSpywareWhiteList list;
  int32_t count = 1024;
  list.ReadFromText(u"5\t-3\t12", count);
  EXPECT_EQ(list.GetList(), (std::vector<int32_t>{5, -3, 12}));
  EXPECT_EQ(count, 3);

  count = 2;
  list.ReadFromText(u"5\t-3\t12", count);
  EXPECT_EQ(list.GetList(), (std::vector<int32_t>{5, -3}));
  EXPECT_EQ(count, 2);

  count = 1024;
  list.ReadFromText(u"7\t\t8", count);  // the empty token ends the list
  EXPECT_EQ(list.GetList(), std::vector<int32_t>{7});
  EXPECT_EQ(count, 1);

  list.ReadFromText(u"abc\t99999999999\t", count = 1024);
  EXPECT_EQ(list.GetList(), (std::vector<int32_t>{0, 2147483647}));

  list.ReadFromText(u"", count = 1024);
  EXPECT_TRUE(list.GetList().empty());
  EXPECT_EQ(count, 0);
  list.ReadFromText(u"1\t2", count = 0);
  EXPECT_TRUE(list.GetList().empty());
}

TEST(SpywareWhiteListTest, SerializedAsAListOfIntegers) {
  CSettingContainerSpywareWhiteList list;
  list.GetList() = {5, -1};
  CSerializer s;
  ASSERT_TRUE(s.WriteObject(list));
  EXPECT_EQ(Bytes(s).substr(8), Le32(2) + DwordItem(5) + DwordItem(0xFFFFFFFF));
  CSerializer r;
  r.Load(s.GetBuffer(), static_cast<uint32_t>(s.GetDataSize()));
  CSettingContainerSpywareWhiteList back;
  back.GetList() = {42};
  ASSERT_TRUE(r.ReadObject(back));
  EXPECT_EQ(back.GetList(), list.GetList());
}

}  // namespace
