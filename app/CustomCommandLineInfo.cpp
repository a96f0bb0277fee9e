#include "app/CustomCommandLineInfo.h"

#include "platform/format.h"
#include "platform/string_table.h"
#include "platform/user_interface.h"

namespace {

bool IsWhiteSpace(char16_t c) {
  return c == u' ' || (c >= u'\t' && c <= u'\r') || c == 0x85 || c == 0xA0 || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
         c == 0x3000;
}

std::u16string Trim(std::u16string_view text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && IsWhiteSpace(text[begin])) ++begin;
  while (end > begin && IsWhiteSpace(text[end - 1])) --end;
  return std::u16string(text.substr(begin, end - begin));
}

}  // namespace

void CCustomCommandLineInfo::ParseParam(std::u16string_view param, bool is_flag, bool /*is_last*/) {
  if (!is_flag) {
    m_wstrDataFilePath = Trim(param);
    return;
  }
  if (param == u"c") {
    m_bConsoleMode = true;
  } else if (param == u"i") {
    m_bImport = true;
  } else if (param == u"e") {
    m_bImport = false;
  } else if (param == u"t") {
    m_bAttachParentConsole = true;
  } else if (param == u"?" || param == u"h" || param == u"-help") {
    m_bHelp = true;
  } else if (param == u"-version") {
    m_bVersion = true;
  } else {
    platform::CurrentUserInterface().ShowMessage(
        platform::kApplicationTitle, platform::Format(u"Unknown flag %s", param),
        platform::MessageIcon::kWarning, platform::MessageButtons::kOk);
  }
}

void ParseCommandLine(const std::vector<std::u16string>& arguments, CCustomCommandLineInfo& info) {
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::u16string& token = arguments[i];
    const bool is_last = i + 1 == arguments.size();
    const bool dash_flag = token.size() > 1 && token[0] == u'-';
    const bool slash_flag = token.size() == 2 && token[0] == u'/';
    if (dash_flag || slash_flag) {
      info.ParseParam(std::u16string_view(token).substr(1), true, is_last);
    } else {
      info.ParseParam(token, false, is_last);
    }
  }
}
