// Files written the way the C runtime's text-mode streams write them on
// Windows, which the server's tools read: every line feed goes out preceded
// by a carriage return. The duplicate-domain report is "Unicode" text of such
// a stream ("ccs=UNICODE"): UTF-16LE after a byte-order mark.
#ifndef PORTELLE_IMPORT_TEXTMODEFILE_H_
#define PORTELLE_IMPORT_TEXTMODEFILE_H_

#include <string>
#include <string_view>

#include "platform/status.h"

namespace text_mode {

// `bytes` as a narrow text-mode stream writes them: a CR before every LF
// byte, so that CR LF becomes CR CR LF.
std::string NarrowBytes(std::string_view bytes);

// `text` as UTF-16LE, a CR unit before every LF unit, without byte-order
// mark.
std::string UnicodeBytes(std::u16string_view text);

// Creates the file `name`, or empties it, leaving only the byte-order mark
// FF FE (the "w,ccs=UNICODE" open).
platform::Status CreateUnicodeFile(std::u16string_view name);

// Appends UnicodeBytes(text) to the file `name`; a file that is missing or
// empty gets the byte-order mark first (the "a,ccs=UNICODE" open).
platform::Status AppendUnicodeText(std::u16string_view name, std::u16string_view text);

}  // namespace text_mode

#endif  // PORTELLE_IMPORT_TEXTMODEFILE_H_
