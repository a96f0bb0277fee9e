#include "app/server_info.h"

#include <charconv>
#include <string>

#include "package/ServerVersions.h"
#include "platform/console.h"
#include "platform/dynamic_library.h"
#include "platform/format.h"
#include "platform/registry.h"
#include "platform/string_table.h"
#include "platform/system.h"
#include "platform/text.h"
#include "zip/ZipLibrary.h"

namespace app {
namespace {

using server_versions::kNewest;
using server_versions::kNewestServicePack;

bool IsCSpace(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\n' || c == u'\v' || c == u'\f' || c == u'\r';
}

void ShowWarning(platform::MessageId id) {
  platform::ShowAppMessage(id, platform::MessageIcon::kWarning);
}

// A message of the table as one line of `notes`.
void Note(std::u16string* notes, const platform::AppMessage& message) {
  *notes += platform::OneLine(platform::FormatMessageText(message));
  *notes += u'\n';
}

void NoteRegistryStore(std::u16string* notes) {
  const platform::RegistryStoreInfo store = platform::DescribeRegistryStore();
  if (store.path.empty()) return;  // the system's own registry
  Note(notes, store.exists ? platform::AppMessage(platform::kMsgRegistryFileRead, store.path)
                           : platform::AppMessage(platform::kMsgRegistryFileMissing, store.path,
                                                  store.variable));
}

bool ReadServerInfo(double* version, std::u16string* install_path, int32_t* service_pack,
                    int32_t* patch, std::u16string* notes) {
  platform::RegistryKey key;
  if (!key.Open(platform::RegistryRoot::kLocalMachine, kServerInfoKey)) {
    ShowWarning(platform::kMsgServerNotInstalled);
    NoteRegistryStore(notes);
    return false;
  }
  std::u16string text;
  if (!key.QueryString(u"Server_Version", kServerInfoTextCapacity, &text)) {
    ShowWarning(platform::kMsgServerNotInstalled);
    NoteRegistryStore(notes);
    return false;
  }
  *version = ParseServerVersion(text);

  uint32_t number = 0;
  *service_pack =
      key.QueryDword(u"ServicePack_VersionNumber", &number) ? static_cast<int32_t>(number) : 0;
  *patch = key.QueryDword(u"Patch_VersionNumber", &number) ? static_cast<int32_t>(number) : 0;

  if (!IsSupportedServerVersion(*version, *service_pack, *patch)) {
    ShowWarning(platform::kMsgVersionNotSupported);
    NoteRegistryStore(notes);
    Note(notes, platform::AppMessage(platform::kMsgVersionFound, text,
                                     platform::Format(u"%d", *service_pack),
                                     platform::Format(u"%d", *patch)));
    return false;
  }
  if (!key.QueryString(u"Local_Path", kServerInfoTextCapacity, install_path)) {
    ShowWarning(platform::kMsgInstallFolderUnknown);
    NoteRegistryStore(notes);
    return false;
  }
  return true;
}

}  // namespace

double ParseServerVersion(std::u16string_view text) {
  size_t start = 0;
  while (start < text.size() && IsCSpace(text[start])) ++start;
  // from_chars reads the same decimal grammar as wcstod except for a leading
  // '+', so that is taken off here; it works on narrow text and ignores the
  // locale, so the ASCII prefix is copied out.
  if (start < text.size() && text[start] == u'+') {
    ++start;
    if (start < text.size() && text[start] == u'-') return 0;
  }
  std::string ascii;
  for (size_t i = start; i < text.size() && text[i] < 0x80; ++i) {
    ascii.push_back(static_cast<char>(text[i]));
  }
  double value = 0;
  const auto result =
      std::from_chars(ascii.data(), ascii.data() + ascii.size(), value, std::chars_format::general);
  return result.ec == std::errc() ? value : 0;
}

bool IsSupportedServerVersion(double version, int32_t service_pack, int32_t patch) {
  if (version >= server_versions::kOldest && version < kNewest) return true;
  return version == kNewest && service_pack <= kNewestServicePack && patch <= 0;
}

bool CanImportInto(double version, int32_t service_pack, int32_t patch) {
  return version == kNewest && service_pack == kNewestServicePack && patch == 0;
}

bool GetServerInfo(double* version, std::u16string* install_path, int32_t* service_pack,
                   int32_t* patch, std::u16string* found) {
  std::u16string notes;
  const bool result = ReadServerInfo(version, install_path, service_pack, patch, &notes);
  if (!result && found != nullptr) *found = std::move(notes);
  return result;
}

bool DiscoverServer(ServerInfo* info) {
  std::u16string found;
  if (GetServerInfo(&info->version, &info->install_path, &info->service_pack, &info->patch,
                    &found) &&
      CheckZipLibrary()) {
    return true;
  }
  if (!found.empty()) platform::ConsoleWriteError(found);
  return false;
}

bool CheckZipLibrary() {
  std::u16string program_path;
  if (!platform::GetProgramPath(&program_path).ok()) return false;
  return CheckZipLibrary(program_path);
}

bool CheckZipLibrary(std::u16string_view program_path) {
  if (program_path.empty() || program_path.size() > platform::kMaxSystemPathBytes) return false;
  platform::DynamicLibrary library;
  if (zip_library::LoadFromFolder(platform::FolderOfPath(program_path),
                                  zip_library::kMinizipLibrary, &library)) {
    library.Unload();
    return true;
  }
  platform::ShowAppMessage(platform::kMsgLibraryMissing, platform::MessageIcon::kError,
                           platform::MessageButtons::kOk, zip_library::kMinizipLibrary);
  return false;
}

}  // namespace app
