#include "app/program_version.h"

#include "platform/string_table.h"
#include "portelle_version.h"

namespace app {

std::u16string_view PortelleVersion() { return PORTELLE_VERSION_TEXT; }

std::u16string VersionText(std::u16string_view program) {
  return platform::FormatMessageText(platform::AppMessage(platform::kMsgProgramVersion,
                                                          std::u16string(program),
                                                          std::u16string(PortelleVersion()))) +
         u"\n";
}

}  // namespace app
