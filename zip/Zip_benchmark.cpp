// Archiving speed against Python's zipfile, and the memory that extracting a
// large member takes.
#include <benchmark/benchmark.h>

#include <fstream>
#include <string>

#include "platform/file_system.h"
#include "tests/support/temp_folder.h"
#include "zip/Unzip.h"
#include "zip/Zip.h"
#include "zip/ZipLibrary.h"
#include "zip/testing/ZipTestTools.h"

namespace {

constexpr int kFileCount = 200;
constexpr size_t kFileSize = 64 * 1024;
constexpr size_t kLargeMemberSize = 100 * 1024 * 1024;
// What extracting the large member may take above the program's base.
constexpr long kStreamingLimitKb = 16 * 1024;

// Text-like bytes that deflate to about a third, different in every file.
std::string FileContent(uint32_t seed, size_t size) {
  static constexpr std::string_view kWords[] = {"scan",          "domain", "client", "=", "1\r\n",
                                                "[Section]\r\n", "policy", "0",      " ", "alert"};
  std::string bytes;
  bytes.reserve(size + 16);
  uint32_t state = seed * 2654435761u + 1;
  while (bytes.size() < size) {
    state = state * 1103515245 + 12345;
    bytes += kWords[(state >> 16) % 10];
    if ((state >> 8) % 7 == 0) bytes += static_cast<char>('a' + (state >> 24) % 26);
  }
  bytes.resize(size);
  return bytes;
}

void WriteSourceFolder(const testing_support::TempFolder& dir) {
  for (int i = 0; i < kFileCount; ++i) {
    dir.Write("source/Private/PFW/file" + std::to_string(i) + ".ini", FileContent(i, kFileSize));
  }
}

// Peak resident memory of this process so far, in kB.
long PeakResidentKb() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

// Forgets the peak so far, so that the next reading covers what follows.
void ResetPeakResident() { std::ofstream("/proc/self/clear_refs") << "5"; }

void BM_CZipArchiveAndCUnzipExtract(benchmark::State& state) {
  zip_library::ScopedLibraryFolderForTesting libraries(u"" PORTELLE_BIN_DIR);
  testing_support::TempFolder dir;
  WriteSourceFolder(dir);
  zip_testing::ScopedCurrentFolder current(dir.path() + "source");
  for (auto _ : state) {
    CZip zip;
    zip.Open((dir.path() + "bench.zip").c_str(), false);
    if (zip.AddFolder("Private\\PFW\\", false, 9) != 0) state.SkipWithError("AddFolder failed");
    zip.Close();
    CUnzip unzip;
    unzip.Open((dir.path() + "bench.zip").c_str());
    if (unzip.ExtractAll((dir.path() + "out").c_str(), true, true) != 0) {
      state.SkipWithError("ExtractAll failed");
    }
    unzip.Close();
  }
  platform::FileInfo info;
  platform::GetFileInfo(dir.Wide("bench.zip"), &info);
  state.counters["archive_kB"] = static_cast<double>(info.size) / 1024;
}
BENCHMARK(BM_CZipArchiveAndCUnzipExtract)->Unit(benchmark::kMillisecond)->MinTime(2);

// The same work done by Python's zipfile, timed inside Python so that the
// interpreter's start-up does not count.
void BM_PythonZipfileArchiveAndExtract(benchmark::State& state) {
  testing_support::TempFolder dir;
  WriteSourceFolder(dir);
  constexpr std::string_view kScript = R"(
import os, sys, time, zipfile
os.chdir('source')
names = ['Private/PFW/' + n for n in sorted(os.listdir('Private/PFW'))]
start = time.perf_counter()
with zipfile.ZipFile('../bench.zip', 'w', zipfile.ZIP_DEFLATED, compresslevel=9) as z:
    for n in names:
        z.write(n)
with zipfile.ZipFile('../bench.zip') as z:
    z.extractall('../out')
print(time.perf_counter() - start)
)";
  for (auto _ : state) {
    int exit_code = 0;
    const std::string out = zip_testing::RunPython(dir, kScript, "", &exit_code);
    if (exit_code != 0) {
      state.SkipWithError("python3 failed");
      break;
    }
    state.SetIterationTime(std::stod(out));
  }
}
BENCHMARK(BM_PythonZipfileArchiveAndExtract)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->MinTime(2);

// Extracting one 100 MB member must stay far below its size in memory.
void BM_ExtractLargeMemberPeakMemory(benchmark::State& state) {
  zip_library::ScopedLibraryFolderForTesting libraries(u"" PORTELLE_BIN_DIR);
  testing_support::TempFolder dir;
  {
    platform::File file;
    file.Open(dir.Wide("large.bin"), platform::File::Mode::kCreateAlways);
    const std::string piece = FileContent(7, 1024 * 1024);
    for (size_t written = 0; written < kLargeMemberSize; written += piece.size()) {
      file.Write(piece.data(), piece.size());
    }
  }
  ResetPeakResident();
  const long base_kb = PeakResidentKb();
  {
    CZip zip;
    zip.Open((dir.path() + "large.zip").c_str(), false);
    zip.AddFile(dir.path().c_str(), "large.bin", 9);
  }
  const long after_zip_kb = PeakResidentKb();
  long after_unzip_kb = 0;
  for (auto _ : state) {
    ResetPeakResident();
    CUnzip unzip;
    unzip.Open((dir.path() + "large.zip").c_str());
    if (unzip.ExtractAll((dir.path() + "out").c_str(), true, true) != 0) {
      state.SkipWithError("ExtractAll failed");
    }
    unzip.Close();
    after_unzip_kb = PeakResidentKb();
  }
  if (after_unzip_kb - base_kb >= kStreamingLimitKb ||
      after_zip_kb - base_kb >= kStreamingLimitKb) {
    state.SkipWithError("a large member was not streamed");
  }
  state.counters["add_peak_above_base_MB"] = static_cast<double>(after_zip_kb - base_kb) / 1024;
  state.counters["extract_peak_above_base_MB"] =
      static_cast<double>(after_unzip_kb - base_kb) / 1024;
}
BENCHMARK(BM_ExtractLargeMemberPeakMemory)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
