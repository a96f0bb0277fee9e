#include "platform/string_table.h"

#include "platform/text.h"

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

    case kMsgArchiveNotWritten:
      return u"Unable to continue. \nUnable to write the data file %1: %2. \nSelect another "
             u"path and try again.";
    case kMsgInstallFileNotWritten:
      return u"Unable to continue. \nUnable to write %1 in the Bastionel server install folder: "
             u"%2. \nRun the tool as an administrator and try again.";
    case kMsgArchivePathTooLong:
      return u"Unable to continue. \nThe data file path is longer than 259 bytes: \n%1 "
             u"\nSelect a shorter path and try again.";
    case kMsgNoDomainsExported:
      return u"Exported the settings and files to \n%1, \nbut no domain could be read from the "
             u"database service. \nEnsure that the Bastionel database service is running and "
             u"export again.";
    case kMsgDomainsLeftOut:
      return u"%1 domain(s) of the data file were not imported and %2 were imported without "
             u"their scan configuration. \nThe debug log names them; verify them via the "
             u"Bastionel console.";
    case kMsgArchiveRefused:
      return u"The data file %1 was not imported: %2. \nNothing was changed on this server.";
    case kMsgRegistryFileRead:
      return u"Registry file read: %1";
    case kMsgRegistryFileMissing:
      return u"The registry file %1 does not exist (the variable %2 names another).";
    case kMsgVersionFound:
      return u"Found Bastionel server version %1, service pack %2, patch %3.";
    case kMsgInstallFileNotRead:
      return u"Unable to continue. \nUnable to read %1 in the Bastionel server install folder: "
             u"%2.";
    case kMsgMembersSkipped:
      return u"%1 file(s) in the data file that no export archive holds were not extracted. "
             u"\nThe debug log names them.";
    case kMsgDeepDomainsLeftOut:
      return u"Exported the settings and files to \n%1, \nbut at least %2 domain(s) below the "
             u"deepest level the tool walks were left out. \nVerify the domain tree via the "
             u"Bastionel console.";
    case kMsgUseImportProgram:
      return u"Use portelle-import to import without the dialog.";
    case kMsgImportVersionRefused:
      return u"Unable to continue. \nThis tool only imports into Bastionel 10.6 SP2 without a "
             u"patch; this server is version %1, service pack %2, patch %3.";
    case kMsgConsoleQuestion:
      return u"%1 (y/n): ";
    case kMsgImportAborted:
      return u"Import is aborted";
    case kMsgDuplicateReportPath:
      return u"Duplicate domain report: %1";
    case kMsgDomainsCreated:
      return u"Domains created: %1";
    case kMsgDuplicatesLeftAlone:
      return u"Duplicate domains left alone: %1";
    case kMsgDomainsRefusedOrDamaged:
      return u"Domains refused or damaged: %1";
    case kMsgFilesReplaced:
      return u"Files replaced: %1";
    case kMsgFirewallMigrated:
      return u"Firewall settings migrated.";
    case kMsgFirewallNotMigrated:
      return u"Firewall settings were not migrated: the firewall library could not be used "
             u"(the debug log says why).";
    case kMsgDlpTemplateMigrated:
      return u"DLP template migrated.";
    case kMsgDlpTemplateNotMigrated:
      return u"DLP template was not migrated: SvcCfgRunner could not be started (the debug log "
             u"says why).";
    case kMsgPreviewHeading:
      return u"Preview of the import of %1 into %2. \nNothing was changed on this server.";
    case kMsgPreviewIniChanges:
      return u"INI settings that would change: %1";
    case kMsgPreviewDomainsCreated:
      return u"Domains that would be created: %1";
    case kMsgPreviewDuplicates:
      return u"Duplicate domains that would be left alone: %1";
    case kMsgPreviewDomainsNotImported:
      return u"Domains that would not be imported (damaged records): %1";
    case kMsgPreviewFilesReplaced:
      return u"Files that would be replaced: %1";
    case kMsgPreviewFilesAdded:
      return u"Files that would be added: %1";
    case kMsgPreviewFilesRemoved:
      return u"Files that would be removed (moved into Admin, or used by the DLP template "
             u"migration): %1";
    case kMsgPreviewComponentCalls:
      return u"Calls into the server's components that would follow:";
    case kMsgPreviewValueKept:
      return u"kept; the data file holds %1";
    case kMsgBackupWritten:
      return u"Backup of the files the import changes: %1";
    case kMsgBackupNotWritten:
      return u"Unable to continue. \nUnable to write the backup %1: %2. \nNothing was "
             u"imported; nothing was changed on this server.";
    case kMsgRestoreWarning:
      return u"Warning: The files saved in %1 will replace the current ones in the Bastionel "
             u"server install folder, and the files the import added will be deleted. "
             u"\nContinue restoring?";
    case kMsgRestoreAborted:
      return u"Restore is aborted";
    case kMsgRestoreDone:
      return u"Restored %1 file(s) and deleted %2 file(s) that the import had added, from \n%3.";
    case kMsgRestoreCannotUndo:
      return u"Domains and scan configurations that the import sent to the database service "
             u"were not removed: no database command removes them. \nVerify them via the "
             u"Bastionel console.";
    case kMsgRestoreFailed:
      return u"Unable to restore the backup %1: %2.";
    case kMsgNoBackups:
      return u"No backups in %1.";
    case kMsgBackupListed:
      return u"%1 (%2 file(s), taken before the import of %3)";
    case kMsgProgressExporting:
      return u"Exporting";
    case kMsgProgressImporting:
      return u"Importing";
    case kMsgProgressDomainsDone:
      return u"%1: %2 domains done, %3 elapsed";
    case kMsgProgressCountOfTotal:
      return u"%1 of %2";
    case kMsgProgramVersion:
      return u"%1 %2";
    default:
      return {};
  }
}

namespace {

// The entry's text with %1..%3 replaced; other characters stay as they are.
std::u16string Substitute(int id, const std::u16string_view (&arguments)[3]) {
  const std::u16string_view text = LoadMessageText(id);
  std::u16string out;
  out.reserve(text.size() + arguments[0].size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'%' && i + 1 < text.size() && text[i + 1] >= u'1' && text[i + 1] <= u'3') {
      out.append(arguments[text[i + 1] - u'1']);
      ++i;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r'; }

}  // namespace

std::u16string FormatMessageText(int id, std::u16string_view argument) {
  const std::u16string_view arguments[3] = {argument, {}, {}};
  return Substitute(id, arguments);
}

std::u16string FormatMessageText(const AppMessage& message) {
  const std::u16string_view arguments[3] = {message.argument1, message.argument2,
                                            message.argument3};
  return Substitute(message.id, arguments);
}

AppMessage FileFailureMessage(int id, std::u16string_view path, const Status& status) {
  return AppMessage(id, std::u16string(path), FromSystemCodePage(SystemErrorText(status.code())));
}

std::u16string OneLine(std::u16string_view text) {
  std::u16string line;
  line.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != u'\n') {
      line.push_back(text[i]);
      continue;
    }
    while (!line.empty() && IsBlank(line.back())) line.pop_back();
    while (i + 1 < text.size() && IsBlank(text[i + 1])) ++i;
    if (!line.empty()) line.push_back(u' ');
  }
  while (!line.empty() && IsBlank(line.back())) line.pop_back();
  return line;
}

MessageAnswer ShowAppMessage(int id, MessageIcon icon, MessageButtons buttons,
                             std::u16string_view argument) {
  return CurrentUserInterface().ShowMessage(kApplicationTitle, FormatMessageText(id, argument),
                                            icon, buttons);
}

}  // namespace platform
