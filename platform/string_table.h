// The program's string table: every user-facing message, by its resource
// id, and the helpers that show one in a message box or as a console line.
// Two tables share the ids: the server tool's own entries (129-142, frozen)
// and Portelle's entries (200 on) for the failures and outcomes those have
// no words for. A translation or a resource file takes both from here.
#ifndef PORTELLE_PLATFORM_STRING_TABLE_H_
#define PORTELLE_PLATFORM_STRING_TABLE_H_

#include <string>
#include <string_view>

#include "platform/status.h"
#include "platform/user_interface.h"

namespace platform {

// Message ids (resource ids of the string table; frozen).
enum MessageId : int {
  kMsgExportSucceeded = 129,
  kMsgImportSucceeded = 130,
  kMsgImportWarning = 132,
  kMsgDataFileCorrupted = 133,
  kMsgDatabaseImportFailed = 134,
  kMsgDataFileNotSelected = 135,
  kMsgServerNotInstalled = 136,
  kMsgVersionNotSupported = 137,
  kMsgLibraryMissing = 138,
  kMsgArchiveExists = 139,
  kMsgInstallFolderUnknown = 140,
  kMsgDuplicateDomains = 141,
  kMsgToolSucceeded = 142,

  // Portelle's own entries. %1, %2 and %3 are replaced by the arguments.
  kMsgArchiveNotWritten = 200,      // %1 archive path, %2 system reason
  kMsgInstallFileNotWritten = 201,  // %1 file in the install folder, %2 system reason
  kMsgArchivePathTooLong = 202,     // %1 archive path
  kMsgNoDomainsExported = 203,      // %1 archive path
  kMsgDomainsLeftOut = 204,         // %1 domains not imported, %2 without configuration
  kMsgArchiveRefused = 205,         // %1 archive path, %2 what is wrong with it
  kMsgRegistryFileRead = 206,       // %1 registry file
  kMsgRegistryFileMissing = 207,    // %1 registry file, %2 variable naming it
  kMsgVersionFound = 208,           // %1 version, %2 service pack, %3 patch
  kMsgInstallFileNotRead = 209,     // %1 file in the install folder, %2 system reason
  kMsgMembersSkipped = 210,         // %1 archive members not extracted
  kMsgDeepDomainsLeftOut = 211,     // %1 archive path, %2 domains not walked (at least)
  kMsgUseImportProgram = 212,       // console mode's pointer to portelle-import
  kMsgImportVersionRefused = 213,   // %1 version, %2 service pack, %3 patch
  kMsgConsoleQuestion = 214,        // %1 a question of the table as one line
  kMsgImportAborted = 215,
  kMsgDuplicateReportPath = 216,      // %1 the report's full path
  kMsgDomainsCreated = 217,           // %1 count
  kMsgDuplicatesLeftAlone = 218,      // %1 count
  kMsgDomainsRefusedOrDamaged = 219,  // %1 count
  kMsgFilesReplaced = 220,            // %1 count
  kMsgFirewallMigrated = 221,
  kMsgFirewallNotMigrated = 222,
  kMsgDlpTemplateMigrated = 223,
  kMsgDlpTemplateNotMigrated = 224,
  // The preview of an import, its backup and the restore.
  kMsgPreviewHeading = 230,             // %1 archive path, %2 install folder
  kMsgPreviewIniChanges = 231,          // %1 count
  kMsgPreviewDomainsCreated = 232,      // %1 count
  kMsgPreviewDuplicates = 233,          // %1 count
  kMsgPreviewDomainsNotImported = 234,  // %1 count
  kMsgPreviewFilesReplaced = 235,       // %1 count
  kMsgPreviewFilesAdded = 236,          // %1 count
  kMsgPreviewFilesRemoved = 237,        // %1 count
  kMsgPreviewComponentCalls = 238,
  kMsgPreviewValueKept = 239,  // %1 the value the data file holds
  kMsgBackupWritten = 240,     // %1 backup path
  kMsgBackupNotWritten = 241,  // %1 path, %2 system reason
  kMsgRestoreWarning = 242,    // %1 backup path
  kMsgRestoreAborted = 243,
  kMsgRestoreDone = 244,  // %1 files restored, %2 files deleted, %3 backup path
  kMsgRestoreCannotUndo = 245,
  kMsgRestoreFailed = 246,  // %1 backup path, %2 what went wrong
  kMsgNoBackups = 247,      // %1 backup folder
  kMsgBackupListed = 248,   // %1 backup path, %2 file count, %3 archive imported
  // The progress of long work, on a terminal's line or in the dialog.
  kMsgProgressExporting = 250,     // the operation named in 252
  kMsgProgressImporting = 251,     // the operation named in 252
  kMsgProgressDomainsDone = 252,   // %1 operation, %2 count (or 253), %3 elapsed time
  kMsgProgressCountOfTotal = 253,  // %1 count, %2 total
  // What --version prints.
  kMsgProgramVersion = 260,  // %1 program name, %2 Portelle's version
};

// A message of the table with its arguments: decided where a failure is
// understood (the engines), shown only by the application layer (a message
// box in the dialog, a line on standard error in the console).
struct AppMessage {
  AppMessage() = default;
  explicit AppMessage(int message_id, std::u16string a1 = {}, std::u16string a2 = {},
                      std::u16string a3 = {})
      : id(message_id),
        argument1(std::move(a1)),
        argument2(std::move(a2)),
        argument3(std::move(a3)) {}

  int id = 0;  // 0: no message
  std::u16string argument1;
  std::u16string argument2;
  std::u16string argument3;

  bool empty() const { return id == 0; }
};

// The message `id` for a file operation that failed: %1 the path as the
// user knows it, %2 the system's reason for `status`.
AppMessage FileFailureMessage(int id, std::u16string_view path, const Status& status);

// The caption of the program's message boxes.
inline constexpr std::u16string_view kApplicationTitle = u"Korvane Bastionel Portelle";

// The text of a string-table entry; empty for an unknown id.
std::u16string_view LoadMessageText(int id);

// The entry's text with every "%1" replaced by `argument`.
std::u16string FormatMessageText(int id, std::u16string_view argument = {});
// The entry's text with %1, %2 and %3 replaced by the message's arguments.
std::u16string FormatMessageText(const AppMessage& message);

// A message box's text as one console line: each line break, with the
// blanks around it, becomes one space.
std::u16string OneLine(std::u16string_view text);

// Shows a string-table entry in a message box of the current user interface,
// captioned with the application title.
MessageAnswer ShowAppMessage(int id, MessageIcon icon, MessageButtons buttons = MessageButtons::kOk,
                             std::u16string_view argument = {});

}  // namespace platform

#endif  // PORTELLE_PLATFORM_STRING_TABLE_H_
