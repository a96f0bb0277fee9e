#include "zip/ZipException.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/format.h"
#include "platform/status.h"

namespace {

// Room for the longest system text with its frame.
constexpr unsigned int kTextBufferSize = 512;

}  // namespace

int CZipCommonException::GetErrorText(char* buffer, unsigned int size,
                                      unsigned int* /*help_context*/) {
  const std::string text = platform::FormatA("Error : %d, Description : %s", m_nError,
                                             platform::SystemErrorText(m_nError));
  return CopyErrorText(text.c_str(), buffer, size);
}

int CZipCommonException::CopyErrorText(const char* text, char* buffer, unsigned int size) {
  if (buffer == nullptr || size == 0) return 0;
  const size_t length = std::min<size_t>(std::strlen(text), size - 1);
  std::memcpy(buffer, text, length);
  buffer[length] = '\0';
  return 1;
}

int CWinFileException::GetErrorText(char* buffer, unsigned int size, unsigned int* help_context) {
  char inner[kTextBufferSize];
  CZipCommonException::GetErrorText(inner, sizeof inner, help_context);
  const std::string text = platform::FormatA("CWinFileException: %s", inner);
  return CopyErrorText(text.c_str(), buffer, size);
}
