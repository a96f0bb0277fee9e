#include "platform/string_table.h"

namespace platform {

std::u16string_view LoadMessageText(int id) {
  switch (id) {
    case kMsgExportSucceeded:
      return u"Successfully exported firewall profiles, policies, and Bastionel configurations "
             u"and settings to \n%1.";
    case kMsgImportSucceeded:
      return u"Successfully imported firewall profiles, policies, and Bastionel configurations "
             u"and settings from \n%1.";
    case kMsgImportWarning:
      return u"Warning: Selected data file will override current firewall profiles, policies, "
             u"and Bastionel configurations and settings. \nContinue importing data file?";
    case kMsgDataFileCorrupted:
      return u"Unable to continue. \nSelected data file is incorrect or corrupted. \nVerify the "
             u"data file and try again.";
    case kMsgDatabaseImportFailed:
      return u"Unable to continue importing data to database. \nRestart the database server and "
             u"try again.";
    case kMsgDataFileNotSelected:
      return u"Unable to locate the data file. \nPlease select the data file and try again.";
    case kMsgServerNotInstalled:
      return u"Unable to continue. \nEnsure that the Bastionel server is installed and try "
             u"again.";
    case kMsgVersionNotSupported:
      return u"Unable to continue. \nThis tool only supports Bastionel 8.x, 10, 10 SP1, 10.5, "
             u"10.5 P1, 10.6, 10.6 SP1, or 10.6 SP2.";
    case kMsgLibraryMissing:
      return u"Unable to continue. \nUnable to locate dll (%1). \nPlease contact your support "
             u"provider for the missing file.";
    case kMsgArchiveExists:
      return u"%1 already exists. Do you want to overwrite it?";
    case kMsgInstallFolderUnknown:
      return u"Unable to continue.\n Unable to determine Bastionel server install folder.";
    case kMsgDuplicateDomains:
      return u"The tool didn't replace the setting for the duplicated domains. \nPlease check "
             u"'%1' and manually verify if they have the correct settings via the Bastionel "
             u"console. ";
    case kMsgToolSucceeded:
      return u"Tool has executed successfully";
    default:
      return {};
  }
}

std::u16string FormatMessageText(int id, std::u16string_view argument) {
  const std::u16string_view text = LoadMessageText(id);
  std::u16string out;
  out.reserve(text.size() + argument.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'%' && i + 1 < text.size() && text[i + 1] == u'1') {
      out.append(argument);
      ++i;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

MessageAnswer ShowAppMessage(int id, MessageIcon icon, MessageButtons buttons,
                             std::u16string_view argument) {
  return CurrentUserInterface().ShowMessage(kApplicationTitle, FormatMessageText(id, argument),
                                            icon, buttons);
}

}  // namespace platform
