// Paths in the system code page, as the zip library and the server's own
// components take them: at most platform::kMaxSystemPathBytes bytes.
#ifndef PORTELLE_IMPORT_SYSTEMPATH_H_
#define PORTELLE_IMPORT_SYSTEMPATH_H_

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/text.h"

namespace import_paths {

// `path` in the system code page. False, with *narrow untouched, when it is
// longer than platform::kMaxSystemPathBytes: a cut path would name another file or
// folder, so it is refused instead.
bool ToSystemPath(std::u16string_view path, std::string* narrow);

}  // namespace import_paths

#endif  // PORTELLE_IMPORT_SYSTEMPATH_H_
