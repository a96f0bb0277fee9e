// The zip reader over an archive from outside: Open, then Verify as the
// import runs it before anything is extracted, asking for skva.dat.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "zip/Unzip.h"

namespace {

// One archive file per process, rewritten for every input.
const std::string& ArchivePath() {
  static const std::string path = [] {
    const char* dir = std::getenv("TMPDIR");
    std::string p = (dir != nullptr && *dir != '\0') ? dir : "/tmp";
    p += "/portelle-fuzz-unzip-" + std::to_string(getpid()) + ".zip";
    return p;
  }();
  return path;
}

struct RemoveAtExit {
  ~RemoveAtExit() { std::remove(ArchivePath().c_str()); }
} g_remove;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& path = ArchivePath();
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return 0;
  const bool written = std::fwrite(data, 1, size, file) == size;
  if (std::fclose(file) != 0 || !written) return 0;

  CUnzip unzip;
  if (unzip.Open(path.c_str()) != 0) return 0;
  UnzipWantedMember wanted;
  wanted.name = "skva.dat";
  wanted.max_size = 1 << 20;
  UnzipProblem problem;
  unzip.Verify("/nonexistent/portelle-fuzz", &wanted, &problem);
  unzip.Close();
  return 0;
}
