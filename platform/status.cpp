#include "platform/status.h"

#include "platform/text.h"

namespace platform {
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

}  // namespace platform
