// Discovery of the installed Bastionel server (its version, service-pack and
// patch numbers and install folder, from the registry) and the check that the
// zip library lies beside the program. Start-up runs both before any mode;
// each shows its own message box when it fails.
#ifndef PORTELLE_APP_SERVER_INFO_H_
#define PORTELLE_APP_SERVER_INFO_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace app {

// The key, below HKEY_LOCAL_MACHINE, in which the server records itself.
inline constexpr std::u16string_view kServerInfoKey =
    u"SOFTWARE\\Korvane\\Bastionel\\service\\Information";

// Buffer size, in UTF-16 units with the terminator, for the key's text values.
inline constexpr size_t kServerInfoTextCapacity = 260;

// Reads Server_Version (text), ServicePack_VersionNumber and
// Patch_VersionNumber (32-bit numbers, 0 when absent, taken as signed) and
// Local_Path (text, unchanged) from kServerInfoKey. True when the server is
// installed, its version is supported and its install folder is known. On
// false a message box has been shown (136 for a missing key or version, 137
// for an unsupported version, 140 for a missing install folder) and the out
// values are not to be used.
// When `found` is given it receives, on false, one line per fact that helps
// the user see why: where the registry's values were read from (or that the
// registry file is missing, with the variable that names it) and, for a
// refused version, the version, service pack and patch found.
bool GetServerInfo(double* version, std::u16string* install_path, int32_t* service_pack,
                   int32_t* patch, std::u16string* found = nullptr);

// What start-up learns of the installed server.
struct ServerInfo {
  double version = 0;
  std::u16string install_path;
  int32_t service_pack = 0;
  int32_t patch = 0;
};

// Start-up's discovery: GetServerInfo, then CheckZipLibrary. Each shows its
// own message box when it fails, and what was found goes to standard error
// beside it. False when either failed.
bool DiscoverServer(ServerInfo* info);

// True for 8.0 <= version < 10.6 whatever the service pack and patch, and for
// exactly 10.6 with service pack 2 or lower and no patch.
bool IsSupportedServerVersion(double version, int32_t service_pack, int32_t patch);

// Whether archives can be imported into this server: only exactly 10.6 with
// service pack 2 and no patch. Every supported version can export.
bool CanImportInto(double version, int32_t service_pack, int32_t patch);

// The number at the start of `text`, read as the C runtime's wcstod reads it
// in the "C" locale: leading white space, an optional sign, digits with at
// most one decimal point, an optional exponent; what follows is ignored. Text
// that does not start with a number, or a number beyond the range of a
// double, gives 0. The hexadecimal form is not read.
double ParseServerVersion(std::u16string_view text);

// True when the minizip library (zip_library::kMinizipLibrary) can be loaded from the running
// program's folder (as LibraryFileName gives it on this platform). Otherwise message 138 naming
// that library, with an error icon, and false; false without a message when the program's path is
// unknown or longer than platform::kMaxSystemPathBytes characters.
bool CheckZipLibrary();

// The same check for a program at `program_path`.
bool CheckZipLibrary(std::u16string_view program_path);

}  // namespace app

#endif  // PORTELLE_APP_SERVER_INFO_H_
