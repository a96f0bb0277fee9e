#include "dbclient/MsgSerializer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dbclient/ipc_records.h"
#include "dbclient/testing/ipc_test_bytes.h"
#include "platform/file_system.h"
#include "platform/system.h"
#include "platform/text.h"
#include "tests/support/scoped_environment.h"
#include "tests/support/temp_folder.h"

namespace {

using ipc_test::Bytes;
using ipc_test::DwordItem;
using ipc_test::kVersionItem;
using ipc_test::Le32;
using ipc_test::RaisedCode;
using ipc_test::StringItem;
using ipc_test::Utf16Le;
using ipc_test::WordItem;

std::string HeaderItem(uint8_t flags) {
  std::string item("\x10\x00\x00\x00\x20\xAC\x00\x00", 8);
  item += static_cast<char>(flags);
  item += std::string(11, '\0');
  return item;
}

TEST(MsgSerializerTest, FreshMessageHoldsItsStartAndReadsOnFromTheBody) {
  CMsgSerializer msg(u"DBV2_SET_DLP_CFG", CMsgSerializer::kModeMemory, 1234, 5678);
  const std::string expected =
      std::string(
          "\x04\x00\x00\x00\x01\x00\x00\x00"
          "\x10\x00\x00\x00\x20\xAC\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00"
          "\x22\x00\x00\x00",
          32) +
      Utf16Le(u"DBV2_SET_DLP_CFG") + std::string(2, '\0') + std::string("\x3A\x00\x00\x00", 4) +
      Utf16Le(u"0105DBV2_SET_DLP_CFG12345678") + std::string(2, '\0');
  EXPECT_EQ(Bytes(msg), expected);
  EXPECT_EQ(msg.GetCurPos(), 128u);
  EXPECT_EQ(msg.GetByteLength(), 128u);
  EXPECT_EQ(msg.GetMessageId(), u"0105DBV2_SET_DLP_CFG12345678");
  EXPECT_EQ(msg.GetFlags(), 0);

  // Reset writes the same start again.
  msg << uint32_t{1};
  EXPECT_TRUE(msg.Reset());
  EXPECT_EQ(Bytes(msg), expected);
  EXPECT_EQ(msg.GetCurPos(), 128u);
}

TEST(MsgSerializerTest, MessageIdentifier) {
  EXPECT_EQ(CMsgSerializer::MakeMessageId(u"X", 0xFFFFFFFFu, 0x80000000u), u"0105X-1-2147483648");
  CMsgSerializer unnamed(nullptr, CMsgSerializer::kModeMemory, 7, 8);
  EXPECT_EQ(unnamed.GetCommandName(), u"NULL");
  EXPECT_EQ(unnamed.GetMessageId(), u"0105NULL78");
  // By default the thread id is the caller's.
  CMsgSerializer current(u"A");
  const std::u16string thread =
      platform::Utf8ToUtf16(std::to_string(static_cast<int32_t>(platform::GetCurrentThreadId())));
  const std::u16string& id = current.GetMessageId();
  EXPECT_EQ(id.substr(0, 5), u"0105A");
  ASSERT_GT(id.size(), thread.size());
  EXPECT_EQ(id.substr(id.size() - thread.size()), thread);
}

TEST(MsgSerializerTest, DlpConfigurationBody) {
  CMsgSerializer msg(u"DBV2_SET_DLP_CFG", CMsgSerializer::kModeMemory, 1, 2);
  const size_t start = msg.GetByteLength();
  tagCln_DlpDCCfg dc;
  dc.m_dwDCFlagIn = 1;
  dc.m_dwDCFlagOut = 2;
  dc.m_dwDeviceIn = 3;
  dc.m_dwDeviceOut = 0xFFFFFFFF;
  dc.m_strDevExceptionListIn = u"usb";
  tagCln_DlpClcCfg clc;
  clc.m_dwClcFlagIn = 11;
  clc.m_dwClcFlagOut = 12;
  clc.m_strChannelListIn = u"ci";
  clc.m_strChannelListOut = u"co";
  clc.m_dwActionIn = 13;
  clc.m_dwActionOut = 14;
  clc.m_dwCompressFileSizeIn = 15;
  clc.m_dwCompressFileSizeOut = 16;
  clc.m_sCompressLayerIn = -1;
  clc.m_sCompressLayerOut = 3;
  clc.m_dwCompressFileCountIn = 17;
  clc.m_dwCompressFileCountOut = 18;
  clc.m_strTemplateIn = u"ti";
  clc.m_strIpBlOut = u"bo";
  clc.m_strUsbBlOut = u"ub";
  const std::vector<std::u16string> uids = {u"3f2504e0-4f89-11d3-9a0c-0305e82c3301"};
  msg << uids << int32_t{2};
  ASSERT_TRUE(msg.WriteObject(dc));
  ASSERT_TRUE(msg.WriteObject(clc));

  const std::string expected =
      Le32(1) + StringItem(u"3f2504e0-4f89-11d3-9a0c-0305e82c3301") + DwordItem(2) +
      // device control
      StringItem(u"") + DwordItem(1) + DwordItem(2) + DwordItem(3) + DwordItem(0xFFFFFFFF) +
      StringItem(u"usb") + StringItem(u"") +
      // content control
      StringItem(u"") + DwordItem(11) + DwordItem(12) + StringItem(u"ci") + StringItem(u"co") +
      DwordItem(13) + DwordItem(14) + DwordItem(15) + DwordItem(16) + WordItem(0xFFFF) +
      WordItem(3) + DwordItem(17) + DwordItem(18) + StringItem(u"ti") +
      StringItem(u"") +                      // template in, out
      StringItem(u"") + StringItem(u"") +    // IP white list
      StringItem(u"") + StringItem(u"bo") +  // IP black list
      StringItem(u"") + StringItem(u"") +    // e-mail white list
      StringItem(u"") + StringItem(u"") +    // e-mail black list
      StringItem(u"") + StringItem(u"") +    // USB white list
      StringItem(u"") + StringItem(u"ub");   // USB black list
  EXPECT_EQ(Bytes(msg).substr(start), expected);

  // The service reads it back in the same order.
  CMsgSerializer received(nullptr, CMsgSerializer::kModeMemory, 0, 0);
  received.Load(msg.GetBytes(), msg.GetByteLength());
  EXPECT_EQ(received.GetCommandName(), u"DBV2_SET_DLP_CFG");
  EXPECT_EQ(received.GetMessageId(), u"0105DBV2_SET_DLP_CFG12");
  std::vector<std::u16string> uids_back;
  int32_t two = 0;
  tagCln_DlpDCCfg dc_back;
  tagCln_DlpClcCfg clc_back;
  received >> uids_back >> two;
  ASSERT_TRUE(received.ReadObject(dc_back));
  ASSERT_TRUE(received.ReadObject(clc_back));
  EXPECT_EQ(uids_back, uids);
  EXPECT_EQ(two, 2);
  EXPECT_EQ(dc_back.m_dwDeviceOut, 0xFFFFFFFFu);
  EXPECT_EQ(dc_back.m_strDevExceptionListIn, u"usb");
  EXPECT_EQ(clc_back.m_sCompressLayerIn, -1);
  EXPECT_EQ(clc_back.m_dwCompressFileCountOut, 18u);
  EXPECT_EQ(clc_back.m_strIpBlOut, u"bo");
  EXPECT_EQ(clc_back.m_strUsbBlOut, u"ub");
  EXPECT_EQ(received.GetCurPos(), received.GetByteLength());
}

TEST(MsgSerializerTest, LoadsAReplyWithAStatus) {
  const std::string reply = kVersionItem + HeaderItem(0) + StringItem(u"DBV2_CLIENT_ON_START") +
                            StringItem(u"0105DBV2_CLIENT_ON_START4242") + DwordItem(0xFFFFFFFF);
  CMsgSerializer msg(u"DBV2_CLIENT_ON_START", CMsgSerializer::kModeMemory, 42, 42);
  msg << uint32_t{123};
  msg.Load(reply.data(), static_cast<uint32_t>(reply.size()));
  int32_t status = 0;
  msg >> status;
  EXPECT_EQ(status, -1);
  EXPECT_EQ(Bytes(msg), reply);
  int32_t more = 0;
  EXPECT_EQ(RaisedCode([&] { msg >> more; }), CIPCMsgBufferException::kOutOfRange);

  // A header of another length is taken as far as it goes.
  const std::string long_header = kVersionItem + Le32(20) + std::string("\x20\xAC", 2) +
                                  std::string(18, '\0') + StringItem(u"N") + StringItem(u"I") +
                                  DwordItem(5);
  msg.Load(long_header.data(), static_cast<uint32_t>(long_header.size()));
  msg >> status;
  EXPECT_EQ(msg.GetCommandName(), u"N");
  EXPECT_EQ(status, 5);
}

TEST(MsgSerializerTest, EmptyOrTruncatedRepliesRaise) {
  CMsgSerializer msg(u"DBV2_CLIENT_ON_START", CMsgSerializer::kModeMemory, 1, 1);
  EXPECT_EQ(RaisedCode([&] { msg.Load("", 0); }), CIPCMsgBufferException::kInvalidBuffer);
  const std::string reply = kVersionItem + HeaderItem(0) + StringItem(u"DBV2_CLIENT_ON_START") +
                            StringItem(u"01051") + DwordItem(0);
  for (size_t cut = 1; cut < reply.size(); ++cut) {
    int32_t status = 0;
    EXPECT_EQ(RaisedCode([&] {
                msg.Load(reply.data(), static_cast<uint32_t>(cut));
                msg >> status;
              }),
              CIPCMsgBufferException::kOutOfRange)
        << cut;
  }
}

TEST(MsgSerializerTest, MessageInMemoryIsSentUnchanged) {
  CMsgSerializer msg(u"DBV2_SET_DLP_CFG", CMsgSerializer::kModeMemory, 1, 2);
  msg << uint32_t{5};
  const std::string before = Bytes(msg);
  EXPECT_TRUE(msg.FinishForSend());
  EXPECT_EQ(Bytes(msg), before);
}

class MsgSerializerFileTest : public ::testing::Test {
 protected:
  testing_support::TempFolder dir_;
  testing_support::ScopedTemporaryFolder tmpdir_{dir_.path()};
};

TEST_F(MsgSerializerFileTest, BodyInAFileIsFinishedForSendingAndLoadedBack) {
  std::u16string path;
  {
    CMsgSerializer msg(u"DBV2_SET_DLP_CFG", CMsgSerializer::kModeFile, 1, 2);
    ASSERT_TRUE(msg.IsWritingToFile());
    path = msg.GetTempFilePath();
    const std::u16string folder = platform::NativeWidePath(dir_.wpath());
    EXPECT_EQ(path.substr(0, folder.size() + 5), folder + u"mstmp");
    msg << u"body" << uint32_t{7};
    std::string file;
    ASSERT_TRUE(platform::ReadFile(path, &file).ok());
    EXPECT_EQ(file, StringItem(u"body") + DwordItem(7));  // the body alone

    ASSERT_TRUE(msg.FinishForSend());
    EXPECT_FALSE(msg.IsWritingToFile());
    EXPECT_EQ(msg.GetFlags(), CMsgSerializer::kFlagBodyInFile);
    EXPECT_EQ(Bytes(msg), kVersionItem + HeaderItem(0x02) + StringItem(u"DBV2_SET_DLP_CFG") +
                              StringItem(u"0105DBV2_SET_DLP_CFG12") + StringItem(path));

    CMsgSerializer received(nullptr, CMsgSerializer::kModeMemory, 0, 0);
    received.Load(msg.GetBytes(), msg.GetByteLength());
    std::u16string text;
    uint32_t value = 0;
    received >> text >> value;
    EXPECT_EQ(text, u"body");
    EXPECT_EQ(value, 7u);
    EXPECT_EQ(RaisedCode([&] { received >> value; }), CIPCMsgBufferException::kOutOfRange);
    EXPECT_TRUE(platform::PathExists(path));  // the receiver does not delete it
  }
  EXPECT_FALSE(platform::PathExists(path));
}

TEST_F(MsgSerializerFileTest, LargeBodyMovesToAFileAndIsReadBackAcrossFetches) {
  // Items of 100,006 bytes: the 22nd goes to the file, and fetches of 64 KiB
  // or more end inside items.
  std::vector<std::u16string> texts;
  for (int i = 0; i < 30; ++i)
    texts.push_back(std::u16string(50000, static_cast<char16_t>(u'a' + i)));
  CMsgSerializer msg(u"BIG", CMsgSerializer::kModeMemory, 1, 2);
  for (const std::u16string& text : texts) msg << text;
  msg << uint32_t{99};
  ASSERT_TRUE(msg.IsWritingToFile());
  EXPECT_LT(msg.GetCapacity(), 0x300000);
  ASSERT_TRUE(msg.FinishForSend());
  EXPECT_LT(msg.GetByteLength(), 1024u);

  CMsgSerializer received(nullptr, CMsgSerializer::kModeMemory, 0, 0);
  received.Load(msg.GetBytes(), msg.GetByteLength());
  for (size_t i = 0; i < texts.size(); ++i) {
    std::u16string text;
    received >> text;
    ASSERT_EQ(text, texts[i]) << i;
  }
  uint32_t tail = 0;
  received >> tail;
  EXPECT_EQ(tail, 99u);
}

TEST_F(MsgSerializerFileTest, MissingBodyFileRaisesOnTheFirstBodyRead) {
  const std::string reply = kVersionItem + HeaderItem(0x02) + StringItem(u"R") + StringItem(u"I") +
                            StringItem(dir_.wpath() + u"mstmp-gone");
  CMsgSerializer msg(nullptr, CMsgSerializer::kModeMemory, 0, 0);
  msg.Load(reply.data(), static_cast<uint32_t>(reply.size()));
  int32_t status = 0;
  EXPECT_EQ(RaisedCode([&] { msg >> status; }), CIPCMsgBufferException::kOutOfRange);
}

}  // namespace
