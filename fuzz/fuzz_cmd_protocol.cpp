// CCmdProtocol reads over reply bytes. The first byte picks the delimiter
// and the reads that follow, so that every kind of read meets every text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "dbclient/CmdProtocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t plan = data[0];
  ++data;
  --size;
  CCmdProtocol reader(reinterpret_cast<const char16_t*>(data), static_cast<uint32_t>(size));
  switch (plan & 3) {
    case 0:
      break;
    case 1:
      reader.SetDelimiter(u"\t\n");
      break;
    case 2:
      reader.SetDelimiter(u"");
      break;
    case 3:
      reader.SetDelimiter(u"\n");
      break;
  }
  // At most one read per character and a few past the end.
  const size_t reads = size / 2 + 4;
  uint8_t step = plan;
  for (size_t i = 0; i < reads; ++i) {
    step = static_cast<uint8_t>(step * 5 + 1);
    switch ((step >> 4) % 6) {
      case 0: {
        std::u16string t;
        reader.NextToken(t);
        break;
      }
      case 1: {
        char16_t buffer[8];
        reader.NextToken(buffer, sizeof buffer / sizeof buffer[0]);
        break;
      }
      case 2: {
        uint16_t v = 0;
        reader.ReadWord(v);
        break;
      }
      case 3: {
        uint32_t v = 0;
        reader.ReadDword(v);
        break;
      }
      case 4: {
        int32_t v = 0;
        reader.ReadInt(v);
        break;
      }
      case 5:
        reader.SkipTokens(static_cast<int>(step & 3));
        break;
    }
  }
  // Appending after reads keeps the text and the cursor consistent.
  const size_t before = reader.GetLength();
  reader.AppendToken(u"x").AppendInt(-1);
  if (reader.GetLength() < before) __builtin_trap();
  return 0;
}
