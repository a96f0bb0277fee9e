// Stand-in for the server's firewall migration library, BsnPfwCommon. It
// converts nothing: each call is recorded as one line, the entry point's name
// and its argument separated by a TAB, appended to BsnPfwCommon.calls.txt in
// the current folder (the install folder while the import calls it), so
// that tests can see which entry points were called, with what, in which
// order. Built twice: BsnPfwCommon with both entry points, and
// BsnPfwCommonPackOnly (BSNPFW_PACK_ONLY) without
// PFWMigrateFirewallSettings, as an older library lacking it.
#include <cstdio>

namespace {

constexpr char kCallsFile[] = "BsnPfwCommon.calls.txt";

void Record(const char* entry_point, const char* argument) {
  // Binary, so that the lines end in "\n" on every system.
  std::FILE* calls = std::fopen(kCallsFile, "ab");
  if (calls == nullptr) return;
  std::fprintf(calls, "%s\t%s\n", entry_point, argument != nullptr ? argument : "(null)");
  std::fclose(calls);
}

}  // namespace

// Windows DLLs export what is marked; elsewhere the module is built with
// hidden visibility and exports what is marked.
#if defined(_WIN32)
#define BSNPFW_EXPORT extern "C" __declspec(dllexport)
#else
#define BSNPFW_EXPORT extern "C" __attribute__((visibility("default")))
#endif

#ifndef BSNPFW_PACK_ONLY
// Converts the firewall profiles and policies of `pfw_folder` (the install
// path followed by "Private\PFW\").
BSNPFW_EXPORT void PFWMigrateFirewallSettings(const char* pfw_folder) {
  Record("PFWMigrateFirewallSettings", pfw_folder);
}
#endif

// Rebuilds the server's packed firewall file below `install_path`.
BSNPFW_EXPORT void PFWCreateServerPackedPfwFile(const char* install_path) {
  Record("PFWCreateServerPackedPfwFile", install_path);
}
