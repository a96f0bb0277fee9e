// Requests decoded from bytes written out by hand from the wire layouts.
#include "server/dbservice/request.h"

#include <gtest/gtest.h>

#include <cstring>
#include <nlohmann/json.hpp>

namespace dbservice {
namespace {

using namespace std::string_literals;

// UTF-16LE bytes of ASCII text.
std::string U16(std::string_view ascii) {
  std::string bytes;
  for (char c : ascii) bytes += {c, '\0'};
  return bytes;
}

std::string Dword(uint32_t v) {
  return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
          static_cast<char>(v >> 24)};
}

// An item: its 32-bit byte count, then the bytes.
std::string Item(const std::string& bytes) {
  return Dword(static_cast<uint32_t>(bytes.size())) + bytes;
}

std::string WideItem(std::string_view ascii) { return Item(U16(ascii) + std::string(2, '\0')); }

// The message start: version 1, the 16-byte header 20 AC 00..., name, identifier.
std::string MessageStart(std::string_view name, std::string_view id) {
  return "\x04\x00\x00\x00\x01\x00\x00\x00"
         "\x10\x00\x00\x00\x20\xAC\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00"s +
         WideItem(name) + WideItem(id);
}

TEST(RequestTest, TextCommandsSplitAtEveryTabAndNameTheirReplyPipe) {
  Request r = DecodeRequest(U16("DB_EXPORT\t-12\tu-1\t0") + "\0\0"s);
  ASSERT_EQ(r.kind, Request::Kind::kText) << r.error;
  EXPECT_EQ(r.command, u"DB_EXPORT");
  EXPECT_EQ(r.tokens, (std::vector<std::u16string>{u"-12", u"u-1", u"0"}));
  EXPECT_EQ(r.reply_pipe, u"DbCln_-12");
  EXPECT_EQ(r.bytes, 40u);

  // One-way commands have no transaction number and no reply pipe. The
  // configuration stream of DB_IMPORT is the text after the third TAB, TABs
  // of its own included, and may be empty.
  r = DecodeRequest(U16("DB_IMPORT\tu-1\t0\ta\t\tb") + "\0\0"s);
  ASSERT_EQ(r.kind, Request::Kind::kText) << r.error;
  EXPECT_EQ(r.reply_pipe, u"");
  EXPECT_EQ(r.ImportStream(), u"a\t\tb");
  EXPECT_EQ(DescribeArguments(r).dump(), R"(["u-1","0","a","","b"])");
  r = DecodeRequest(U16("DB_IMPORT\tu-1\t0\t") + "\0\0"s);
  ASSERT_EQ(r.kind, Request::Kind::kText) << r.error;
  EXPECT_EQ(r.ImportStream(), u"");
  EXPECT_EQ(DescribeArguments(r).dump(), R"(["u-1","0",""])");
  r = DecodeRequest(U16("DB_SET_DOMAIN_UID\tu-1\t0\tp-1") + "\0\0"s);
  ASSERT_EQ(r.kind, Request::Kind::kText) << r.error;
  EXPECT_EQ(r.tokens, (std::vector<std::u16string>{u"u-1", u"0", u"p-1"}));
}

TEST(RequestTest, MalformedTextIsUnparseableAndAnsweredNowhere) {
  const struct {
    std::string bytes;
    const char* error;
  } cases[] = {
      {"", "empty request"},
      {U16("DB_EXPORT\t1\tu\t0") + "\0"s, "odd byte count"},
      {U16("DB_EXPORT\t1\tu\t0"), "no terminating NUL"},
      {U16("DB_EXPORT\t1\tu\t0") + "\0\0\0\0"s, "2 bytes after the terminating NUL"},
      {U16("DB_EXPOR\t1\tu\t0") + "\0\0"s, "unknown text command 'DB_EXPOR'"},
      {U16("DBV2_CLIENT_ON_START\t1") + "\0\0"s, "unknown text command 'DBV2_CLIENT_ON_START'"},
      {U16("DB_EXPORT\t1\tu") + "\0\0"s, "DB_EXPORT takes 3 tokens after the command word, not 2"},
      {U16("DB_SET_DOMAIN_UID\t5\tu\t0\tp") + "\0\0"s,
       "DB_SET_DOMAIN_UID takes 3 tokens after the command word, not 4"},
      {U16("DB_IMPORT\tu\t0") + "\0\0"s, "DB_IMPORT takes 3 tokens after the command word, not 2"},
      {U16("DB_EXPORT\t007\tu\t0") + "\0\0"s, "bad transaction number '007'"},
      {U16("DB_EXPORT\t+7\tu\t0") + "\0\0"s, "bad transaction number '+7'"},
      {U16("DB_EXPORT\t2147483648\tu\t0") + "\0\0"s, "bad transaction number '2147483648'"},
  };
  for (const auto& c : cases) {
    const Request r = DecodeRequest(c.bytes);
    EXPECT_EQ(r.kind, Request::Kind::kUnparseable) << c.error;
    EXPECT_EQ(r.error, c.error);
    EXPECT_EQ(r.reply_pipe, u"");
    EXPECT_EQ(r.raw, c.bytes);
  }
  EXPECT_EQ(DecodeRequest(std::string(1000, 'x')).raw.size(), kJournaledRawBytes);
}

TEST(RequestTest, DomainRecordOfClientOnStart) {
  std::string record(14464, '\0');
  const auto put = [&](size_t offset, const std::string& bytes) {
    record.replace(offset, bytes.size(), bytes);
  };
  put(4, "\x02\x00"s);
  put(6, U16("u-1"));
  put(112, U16("PC-7"));
  put(354, U16("root\\Lab"));
  put(5534, U16("0.0"));
  put(6792, "\xFF\xFF\xFF\xFF");
  put(7158, U16("p-1"));
  const std::string start = MessageStart("DBV2_CLIENT_ON_START", "0105DBV2_CLIENT_ON_START17");
  Request r = DecodeRequest(start + Item(record));
  ASSERT_EQ(r.kind, Request::Kind::kMessage) << r.error;
  EXPECT_EQ(r.command, u"DBV2_CLIENT_ON_START");
  EXPECT_EQ(r.reply_pipe, u"0105DBV2_CLIENT_ON_START17");
  EXPECT_EQ(DescribeArguments(r).dump(),
            R"({"uid":"u-1","entry":"PC-7","name":"root\\Lab","parent":"p-1","record_type":2,)"
            R"("version":"0.0","initial_value":-1,"other_nonzero_bytes":0})");

  // A byte the import never fills is counted.
  put(6 + 2 * 37 - 2, "x");
  put(14463, "y");
  r = DecodeRequest(start + Item(record));
  EXPECT_EQ(DescribeArguments(r)["other_nonzero_bytes"], 2);

  const struct {
    std::string bytes;
    const char* error;
  } cases[] = {
      {start + Item(record.substr(1)), "the domain record has 14463 bytes, not 14464"},
      {start + Item(record) + Dword(0), "4 bytes follow the body"},
      {start + Dword(14464) + record.substr(0, 100), "the body ends too early (Out of range)"},
      {start.substr(0, 30), "the message ends within its start (Out of range)"},
      {MessageStart("DBV2_GET_THINGS", "id") + Item(record),
       "unknown message command 'DBV2_GET_THINGS'"},
      {MessageStart("DBV2_CLIENT_ON_START", "../x") + Item(record),
       "the message identifier '../x' cannot name a reply pipe"},
  };
  for (const auto& c : cases) {
    r = DecodeRequest(c.bytes);
    EXPECT_EQ(r.kind, Request::Kind::kUnparseable) << c.error;
    EXPECT_EQ(r.error, c.error);
    EXPECT_EQ(r.reply_pipe, u"");
  }
}

TEST(RequestTest, DlpSettingsOfSetDlpCfg) {
  // A list of one UID (a bare count), the value 2, the device-control record
  // and the content-control record with 16-bit items in its middle.
  std::string body = Dword(1) + WideItem("u-1") + Item(Dword(2));
  body += WideItem("") + Item(Dword(1)) + Item(Dword(2)) + Item(Dword(3)) + Item(Dword(4)) +
          WideItem("in") + WideItem("out");
  body += WideItem("") + Item(Dword(5)) + Item(Dword(6)) + WideItem("ch1") + WideItem("ch2") +
          Item(Dword(7)) + Item(Dword(8)) + Item(Dword(9)) + Item(Dword(10)) + Item("\x0B\x00"s) +
          Item("\xFF\xFF"s) + Item(Dword(12)) + Item(Dword(13));
  for (int i = 0; i < 14; ++i) body += WideItem(std::string(1, static_cast<char>('a' + i)));
  const Request r =
      DecodeRequest(MessageStart("DBV2_SET_DLP_CFG", "0105DBV2_SET_DLP_CFG99") + body);
  ASSERT_EQ(r.kind, Request::Kind::kMessage) << r.error;
  ASSERT_TRUE(r.dlp);
  EXPECT_EQ(r.dlp->uids, (std::vector<std::u16string>{u"u-1"}));
  EXPECT_EQ(r.dlp->value, 2u);
  const nlohmann::ordered_json described = DescribeArguments(r);
  EXPECT_EQ(
      described["dc"].dump(),
      R"({"m_strReserved":"","m_dwDCFlagIn":1,"m_dwDCFlagOut":2,"m_dwDeviceIn":3,)"
      R"("m_dwDeviceOut":4,"m_strDevExceptionListIn":"in","m_strDevExceptionListOut":"out"})");
  EXPECT_EQ(described["clc"]["m_strChannelListOut"], "ch2");
  EXPECT_EQ(described["clc"]["m_dwCompressFileSizeOut"], 10);
  EXPECT_EQ(described["clc"]["m_sCompressLayerIn"], 11);
  EXPECT_EQ(described["clc"]["m_sCompressLayerOut"], -1);
  EXPECT_EQ(described["clc"]["m_dwCompressFileCountOut"], 13);
  EXPECT_EQ(described["clc"]["m_strTemplateIn"], "a");
  EXPECT_EQ(described["clc"]["m_strUsbBlOut"], "n");
  EXPECT_EQ(described["uids"].dump(), R"(["u-1"])");
  EXPECT_EQ(described["value"], 2);
}

}  // namespace
}  // namespace dbservice
