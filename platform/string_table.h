// The program's string table: the user-facing messages, by their resource
// ids, and the helper that shows one in a message box.
#ifndef PORTELLE_PLATFORM_STRING_TABLE_H_
#define PORTELLE_PLATFORM_STRING_TABLE_H_

#include <string>
#include <string_view>

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
};

// The caption of the program's message boxes.
inline constexpr std::u16string_view kApplicationTitle = u"Korvane Bastionel Portelle";

// The text of a string-table entry; empty for an unknown id.
std::u16string_view LoadMessageText(int id);

// The entry's text with every "%1" replaced by `argument`.
std::u16string FormatMessageText(int id, std::u16string_view argument = {});

// Shows a string-table entry in a message box of the current user interface,
// captioned with the application title.
MessageAnswer ShowAppMessage(int id, MessageIcon icon,
                             MessageButtons buttons = MessageButtons::kOk,
                             std::u16string_view argument = {});

}  // namespace platform

#endif  // PORTELLE_PLATFORM_STRING_TABLE_H_
