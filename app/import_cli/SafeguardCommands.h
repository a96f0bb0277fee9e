// portelle-import's commands around the import: the preview (--dry-run),
// the restore of a backup (--restore) and the list of backups
// (--list-backups). Each returns the program's exit code.
#ifndef PORTELLE_APP_IMPORT_CLI_SAFEGUARDCOMMANDS_H_
#define PORTELLE_APP_IMPORT_CLI_SAFEGUARDCOMMANDS_H_

#include "app/import_cli/HeadlessImport.h"
#include "app/server_info.h"

namespace headless_import {

// Checks the archive and prints what its import would change; writes
// nothing and sends only read-only lookups. kExitFailed when the import
// would refuse the archive.
int RunDryRun(const Arguments& arguments, const app::ServerInfo& server);

// Asks (unless --yes), puts the backup's files back and says what it cannot
// undo. A backup named without a folder is looked for in the backup folder
// too.
int RunRestore(const Arguments& arguments, const app::ServerInfo& server);

int RunListBackups(const Arguments& arguments, const app::ServerInfo& server);

}  // namespace headless_import

#endif  // PORTELLE_APP_IMPORT_CLI_SAFEGUARDCOMMANDS_H_
