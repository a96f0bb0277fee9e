// Portelle's own version, the same for all of its programs, and the line
// --version prints.
#ifndef PORTELLE_APP_PROGRAM_VERSION_H_
#define PORTELLE_APP_PROGRAM_VERSION_H_

#include <string>
#include <string_view>

namespace app {

// The version the build was made as, "MAJOR.MINOR.PATCH".
std::u16string_view PortelleVersion();

// What --version prints on standard output: message 260 ("portelle 1.0.0")
// for `program`, and a line break.
std::u16string VersionText(std::u16string_view program);

}  // namespace app

#endif  // PORTELLE_APP_PROGRAM_VERSION_H_
