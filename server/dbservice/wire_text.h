// Text as it travels to and from the service: UTF-16LE bytes, low byte first.
#ifndef PORTELLE_SERVER_DBSERVICE_WIRE_TEXT_H_
#define PORTELLE_SERVER_DBSERVICE_WIRE_TEXT_H_

#include <string>
#include <string_view>
#include <vector>

namespace dbservice {

// UTF-8 text (fixtures, JSON) as UTF-16LE bytes.
std::string Utf8ToUtf16Le(std::string_view text);

// Whether `text` can be a field of a reply's TAB- and line-separated records:
// it holds no TAB, no line feed and no NUL (which would end the text early on
// the client's side).
bool FitsInReplyRecord(std::string_view text);

// The tokens of `text`, split at every TAB: they join back into the text
// (an empty text is one empty token).
std::vector<std::u16string> SplitAtTabs(std::u16string_view text);

}  // namespace dbservice

#endif  // PORTELLE_SERVER_DBSERVICE_WIRE_TEXT_H_
