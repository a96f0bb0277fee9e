#include "platform/status.h"

#include <cstring>

#include "platform/text.h"

namespace platform {
namespace {
thread_local int g_last_error = 0;
}  // namespace

Status Status::Error(int code, std::string_view operation, std::u16string_view path) {
  Status s;
  s.code_ = code;
  s.message_.assign(operation);
  if (!path.empty()) {
    s.message_ += " '";
    s.message_ += Utf16ToUtf8(path);
    s.message_ += "'";
  }
  s.message_ += ": ";
  s.message_ += SystemErrorText(code);
  return s;
}

std::string SystemErrorText(int code) { return std::strerror(code); }

int GetLastError() { return g_last_error; }
void SetLastError(int code) { g_last_error = code; }

}  // namespace platform
