// The preview of an import (portelle-import --dry-run): what the import of
// an archive would change on this server, as text for a person and as one
// JSON object for a script. Both show the same plan.
#ifndef PORTELLE_APP_IMPORT_CLI_IMPORTPREVIEW_H_
#define PORTELLE_APP_IMPORT_CLI_IMPORTPREVIEW_H_

#include <string>

#include "import/ImportPlan.h"

namespace headless_import {

// The plan as lines: a heading, then the INI keys that would change (the
// values the import keeps marked as kept), the domains that would be
// created, left alone as duplicates or not imported, the files that would
// be replaced, added or removed, and the component calls that would follow.
std::u16string PreviewText(const import_plan::ImportPlan& plan);

// The plan as one JSON object on one line, ending in a line break.
std::string PreviewJson(const import_plan::ImportPlan& plan);

}  // namespace headless_import

#endif  // PORTELLE_APP_IMPORT_CLI_IMPORTPREVIEW_H_
