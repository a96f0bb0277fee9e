// The import's rewrite of a package's Config_String: read token by token in
// the current layout and written anew, with the target server's own move
// directories in place of the source's and every number in its normal form;
// the DLP settings are picked out of the same tokens. No database, file or
// INI access: the caller reads the move directories and sends the result.
#ifndef PORTELLE_IMPORT_SCANCONFIGSTREAM_H_
#define PORTELLE_IMPORT_SCANCONFIGSTREAM_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "dbclient/ipc_records.h"
#include "package/ScanConfigLayout.h"

struct NormalizedScanConfig {
  // The spyware white list's count is above the tokens that follow it: the
  // record is damaged, and `stream`, `dc` and `clc` are not filled.
  bool damaged = false;
  uint32_t list_count = 0;
  size_t tokens_after_count = 0;
  // The new stream as UTF-16 bytes, without terminator.
  std::string stream;
  tagCln_DlpDCCfg dc;
  tagCln_DlpClcCfg clc;
};

// `config` is the Config_String's bytes (UTF-16LE, not necessarily aligned;
// an odd last byte is ignored); `move_dirs` are the target's move
// directories of the manual, real-time, prescheduled and scan-now scans.
NormalizedScanConfig NormalizeScanConfig(
    const std::string& config,
    const std::array<std::u16string, scan_config_layout::kMoveDirCount>& move_dirs);

#endif  // PORTELLE_IMPORT_SCANCONFIGSTREAM_H_
