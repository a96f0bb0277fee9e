#include "dbclient/OSException.h"

#include "platform/format.h"

namespace OS {

CReturnValueObj::~CReturnValueObj() = default;

std::u16string CException::GetFullDescription() const {
  if (m_wstrSourceFile.empty()) return GetText();
  return platform::Format(u"%s, (%d), [%s|%d]", GetText(), GetCode(), m_wstrSourceFile, m_nLine);
}

}  // namespace OS
