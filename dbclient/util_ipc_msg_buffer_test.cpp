#include "dbclient/util_ipc_msg_buffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "dbclient/Serializer.h"
#include "dbclient/testing/ipc_test_bytes.h"
#include "log/DebugLog.h"
#include "platform/file_system.h"
#include "platform/named_pipe.h"
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

// Loads `bytes` behind a version item, so that reading starts at them.
void Hold(CSerializer& s, const std::string& bytes) {
  const std::string all = kVersionItem + bytes;
  s.Load(all.data(), static_cast<uint32_t>(all.size()));
}

TEST(AccBufferTest, GrowsInWholeUnitsWithOneSpareUnit) {
  const std::string data(3000, 'x');
  CAccBuffer one;
  EXPECT_EQ(one.GetCapacity(), 0);
  one.Append(data.data(), 1);
  EXPECT_EQ(one.GetCapacity(), 1024);
  one.Append(data.data(), 1023);  // fits exactly
  EXPECT_EQ(one.GetCapacity(), 1024);
  one.Append(data.data(), 1);  // 1024 * ((1 + 1024) / 1024 + 1)
  EXPECT_EQ(one.GetCapacity(), 2048);
  EXPECT_EQ(one.GetBytesUsed(), 1025);

  CAccBuffer large;
  large.Append(data.data(), 1500);
  EXPECT_EQ(large.GetCapacity(), 2048);
  large.Append(data.data(), 1024);  // 1024 * ((1024 + 2048) / 1024 + 1)
  EXPECT_EQ(large.GetCapacity(), 4096);
  EXPECT_EQ(Bytes(large), std::string(2524, 'x'));
}

TEST(AccBufferTest, LargeBufferSendsFurtherAppendsToAnOwnerOnlyTemporaryFile) {
  testing_support::TempFolder dir;
  testing_support::ScopedTemporaryFolder tmpdir(dir.path());
  const std::string big(0x200000, 'b');  // capacity 2 MiB + 1 KiB, above the limit
  std::u16string path;
  {
    CAccBuffer buffer;
    buffer.Append(big.data(), static_cast<uint32_t>(big.size()));
    EXPECT_FALSE(buffer.IsWritingToFile());  // the limit is checked before an append
    buffer.Append("tail", 4);
    ASSERT_TRUE(buffer.IsWritingToFile());
    path = buffer.GetTempFilePath();
    const std::u16string folder = platform::NativeWidePath(dir.wpath());
    EXPECT_EQ(path.substr(0, folder.size() + 5), folder + u"mstmp");
    buffer.Append("more", 4);
    EXPECT_EQ(buffer.GetBytesUsed(), 0x200000);  // the memory block no longer grows
    std::string content;
    ASSERT_TRUE(platform::ReadFile(path, &content).ok());
    EXPECT_EQ(content, big + "tailmore");
  }
  EXPECT_FALSE(platform::PathExists(path));  // deleted with the buffer
}

TEST(AccBufferTest, WithoutATemporaryFileTheBufferStaysInMemory) {
  testing_support::TempFolder dir;
  testing_support::ScopedTemporaryFolder tmpdir(dir.path() + "missing");
  const std::string big(0x200000, 'b');
  CAccBuffer buffer;
  buffer.Append(big.data(), static_cast<uint32_t>(big.size()));
  buffer.Append("tail", 4);
  EXPECT_FALSE(buffer.IsWritingToFile());
  EXPECT_EQ(Bytes(buffer), big + "tail");
  EXPECT_FALSE(buffer.MoveToFile());
}

TEST(IPCMsgBufferExceptionTest, CodesCategoryAndDescriptions) {
  const CIPCMsgBufferException range(CIPCMsgBufferException::kOutOfRange, 120);
  EXPECT_EQ(range.GetCategory(), 4);
  EXPECT_EQ(range.GetText(), u"Out of range");
  EXPECT_EQ(range.GetSourceFile(), u"util_ipc_msg_buffer");
  EXPECT_EQ(range.GetFullDescription(), u"Out of range, (0), [util_ipc_msg_buffer|120]");
  EXPECT_EQ(CIPCMsgBufferException(1, 7).GetCodeDescription(), u"Invalid buffer");
  EXPECT_EQ(CIPCMsgBufferException(2, 7).GetCodeDescription(), u"Not owner");
  // Without a source file the description is the text alone.
  EXPECT_EQ(OS::CException(5, 1, u"plain", u"", 3).GetFullDescription(), u"plain");
}

TEST(SerializerTest, OpensWithTheVersionItemAlreadyRead) {
  CSerializer s;
  EXPECT_EQ(Bytes(s), kVersionItem);
  EXPECT_EQ(s.GetCurPos(), 8u);
  EXPECT_EQ(s.GetDataSize(), 8);
  s << uint32_t{9};
  EXPECT_TRUE(s.Reset());
  EXPECT_EQ(Bytes(s), kVersionItem);
  EXPECT_EQ(s.GetCurPos(), 8u);
}

TEST(SerializerTest, ItemLayouts) {
  CSerializer s;
  const std::vector<std::u16string> one_string = {u"A"};
  const std::vector<int32_t> ints = {-1, 7};
  s << uint16_t{0x1234} << int16_t{-2} << uint32_t{0xA1B2C3D4} << int32_t{-2} << u"" << nullptr
    << u"Ab" << one_string << ints;
  const std::string expected = kVersionItem + std::string("\x02\x00\x00\x00\x34\x12", 6) +
                               std::string("\x02\x00\x00\x00\xFE\xFF", 6) +
                               std::string("\x04\x00\x00\x00\xD4\xC3\xB2\xA1", 8) +
                               std::string("\x04\x00\x00\x00\xFE\xFF\xFF\xFF", 8) +
                               std::string("\x02\x00\x00\x00\x00\x00", 6) +  // empty
                               std::string("\x02\x00\x00\x00\x00\x00", 6) +  // absent
                               std::string("\x06\x00\x00\x00\x41\x00\x62\x00\x00\x00", 10) +
                               std::string("\x01\x00\x00\x00", 4) +  // bare count
                               std::string("\x04\x00\x00\x00\x41\x00\x00\x00", 8) +
                               std::string("\x02\x00\x00\x00", 4) +
                               std::string("\x04\x00\x00\x00\xFF\xFF\xFF\xFF", 8) +
                               std::string("\x04\x00\x00\x00\x07\x00\x00\x00", 8);
  EXPECT_EQ(Bytes(s), expected);
}

TEST(SerializerTest, RoundTripOfEveryType) {
  const std::vector<std::u16string> strings = {u"x", u"", u"\u00e9\u4e2d\U0001F600"};
  const std::vector<int32_t> ints = {0, -5, 2147483647};
  CSerializer s;
  s << uint16_t{65535} << int16_t{-300} << uint32_t{4000000000u} << int32_t{-7} << u"line\tTAB"
    << strings << ints;
  CSerializer r;
  r.Load(s.GetBuffer(), static_cast<uint32_t>(s.GetDataSize()));
  uint16_t w = 0;
  int16_t sw = 0;
  uint32_t dw = 0;
  int32_t n = 0;
  std::u16string text;
  std::vector<std::u16string> strings_back = {u"stale"};
  std::vector<int32_t> ints_back = {99};
  r >> w >> sw >> dw >> n >> text >> strings_back >> ints_back;
  EXPECT_EQ(w, 65535);
  EXPECT_EQ(sw, -300);
  EXPECT_EQ(dw, 4000000000u);
  EXPECT_EQ(n, -7);
  EXPECT_EQ(text, u"line\tTAB");
  EXPECT_EQ(strings_back, strings);
  EXPECT_EQ(ints_back, ints);
  EXPECT_EQ(r.GetCurPos(), static_cast<uint32_t>(r.GetDataSize()));
}

TEST(SerializerTest, TypedReadsIgnoreTheCountButStayWithinTheItem) {
  // A 2-byte item read as 32 bits, a 6-byte item read as 16 bits, a string
  // without NUL and one with text behind its NUL.
  CSerializer s;
  Hold(s, std::string("\x02\x00\x00\x00\x01\x02", 6) +
              std::string("\x06\x00\x00\x00\x03\x04\x05\x06\x07\x08", 10) +
              std::string("\x04\x00\x00\x00\x41\x00\x42\x00", 8) +
              std::string("\x06\x00\x00\x00\x43\x00\x00\x00\x44\x00", 10));
  uint32_t dw = 0xFFFFFFFF;
  uint16_t w = 0;
  std::u16string a, b;
  s >> dw >> w >> a >> b;
  EXPECT_EQ(dw, 0x0201u);
  EXPECT_EQ(w, 0x0403);
  EXPECT_EQ(a, u"AB");
  EXPECT_EQ(b, u"C");
}

TEST(SerializerTest, ReadsPastTheDataRaiseInsteadOfReading) {
  uint32_t dw = 0;
  std::u16string text;
  // Three bytes left: not even a count.
  CSerializer three;
  Hold(three, std::string("\x04\x00\x00", 3));
  EXPECT_EQ(RaisedCode([&] { three >> dw; }), CIPCMsgBufferException::kOutOfRange);
  // A count larger than the data behind it.
  CSerializer longer;
  Hold(longer, std::string("\x08\x00\x00\x00\x01\x02\x03\x04", 8));
  EXPECT_EQ(RaisedCode([&] { longer >> dw; }), CIPCMsgBufferException::kOutOfRange);
  EXPECT_EQ(longer.GetCurPos(), 8u);  // nothing was consumed
  // A count near 2^32 must not wrap around the bounds check.
  CSerializer huge;
  Hold(huge, std::string("\xFF\xFF\xFF\xFF\x41\x00", 6));
  EXPECT_EQ(RaisedCode([&] { huge >> text; }), CIPCMsgBufferException::kOutOfRange);
  // A list that promises more elements than there are.
  CSerializer list;
  Hold(list, Le32(0x7FFFFFFF) + DwordItem(1));
  std::vector<int32_t> ints;
  EXPECT_EQ(RaisedCode([&] { list >> ints; }), CIPCMsgBufferException::kOutOfRange);
  EXPECT_EQ(ints, std::vector<int32_t>{1});
  // Nothing at all.
  CSerializer empty;
  EXPECT_EQ(RaisedCode([&] { empty.Load(nullptr, 0); }), CIPCMsgBufferException::kInvalidBuffer);
  EXPECT_EQ(RaisedCode([&] { empty >> dw; }), CIPCMsgBufferException::kInvalidBuffer);
  // Every cut of a valid buffer raises at the cut, never reads beyond it.
  CSerializer full;
  full << u"domain" << uint32_t{5};
  const std::string bytes = Bytes(full);
  for (size_t cut = 8; cut < bytes.size(); ++cut) {
    CSerializer r;
    r.Load(bytes.data(), static_cast<uint32_t>(cut));
    EXPECT_EQ(RaisedCode([&] { r >> text >> dw; }), CIPCMsgBufferException::kOutOfRange) << cut;
  }
}

TEST(SerializerTest, ReadBlockTellsTheSizeItNeeds) {
  const std::string block = "0123456789ABCDEF";
  CSerializer s;
  Hold(s, Le32(16) + block + DwordItem(3));
  char small[10] = {};
  uint32_t size = sizeof small;
  EXPECT_FALSE(s.ReadBlock(small, size));
  EXPECT_EQ(size, 16u);
  EXPECT_EQ(s.GetCurPos(), 8u);
  size = 0;
  EXPECT_FALSE(s.ReadBlock(nullptr, size));
  EXPECT_EQ(size, 16u);
  char roomy[20];
  std::memset(roomy, '#', sizeof roomy);
  size = sizeof roomy;
  EXPECT_TRUE(s.ReadBlock(roomy, size));
  EXPECT_EQ(std::string(roomy, sizeof roomy), block + std::string(4, '\0'));
  uint32_t dw = 0;
  s >> dw;
  EXPECT_EQ(dw, 3u);
}

TEST(SerializerTest, WriteBlockNeedsBytes) {
  CSerializer s;
  EXPECT_FALSE(s.WriteBlock(nullptr, 4));
  EXPECT_EQ(Bytes(s), kVersionItem);
  EXPECT_TRUE(s.WriteBlock("ab", 2));
  EXPECT_EQ(Bytes(s), kVersionItem + std::string("\x02\x00\x00\x00"
                                                 "ab",
                                                 6));
}

// A raw block that runs past the data is logged on the log pipe before the
// exception is raised.
TEST(SerializerTest, RawBlockSizeErrorIsLogged) {
  testing_support::TempFolder dir;
  testing_support::ScopedEnvironmentVariable pipes("BASTIONEL_PIPE_DIR", dir.path() + "pipes");
  debug_log::ProcessGate() = CLogGate(&platform::GetTickCount);
  platform::PipeListener listener;
  ASSERT_TRUE(listener.Listen(debug_log::kLogPipeName).ok());
  std::string record;
  std::thread service([&] {
    platform::PipeStream stream;
    if (!listener.Accept(&stream, 5000).ok()) return;
    char buffer[512];
    size_t n = 0;
    while (stream.Read(buffer, sizeof buffer, &n, 5000).ok() && n > 0) record.append(buffer, n);
  });
  CSerializer s;
  Hold(s, Le32(32) + std::string(20, 'z'));
  char block[64];
  uint32_t size = sizeof block;
  EXPECT_EQ(RaisedCode([&] { s.ReadBlock(block, size); }), CIPCMsgBufferException::kOutOfRange);
  service.join();
  const std::u16string line =
      u"CIPCMsgBuffer::operator >>() ==> size error  (m_dwCurPos[12]+iTotalBytes[32]) > "
      u"m_dwBytesUsed[32]";
  const std::u16string text = platform::Utf16LeToText(record);
  EXPECT_NE(text.find(u"\t2\t\t1\t"), std::u16string::npos) << "level 2, no source file";
  EXPECT_NE(text.find(line), std::u16string::npos);
}

}  // namespace
