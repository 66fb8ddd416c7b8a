// Fuzz target for the whole tool: the input is a D88 file, extracted with
// per-image directories or with "-d" (drawn from the input) into a scratch
// folder. What it wrote must be exactly what the disks' directories say, read
// the plain way: every file with the bytes of its units, every refusal
// absent, nothing else anywhere, and the status 1 exactly when something
// was refused or an image was not 2HD.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <system_error>

#include "extract/run.h"
#include "fuzz/fuzz_support.h"
#include "tests/common/file_trees.h"
#include "fuzz/plain_walk.h"
#include "image/d88_file.h"

namespace {

namespace fs = std::filesystem;

constexpr int32_t kTrackBytes = 8192;
constexpr int32_t kDiskBytes = 154 * kTrackBytes;
std::optional<D88File> runReader;  // a fresh one for each run, as the tool has
uint8_t disk[kDiskBytes];
uint8_t directory[kTrackBytes];

// What the tool should write for the input, and the status it should end with.
int ExpectedRun(const uint8_t* data, size_t size, bool flat, Tree* tree) {
  int64_t starts[64];
  const int32_t count = PlainImageStarts(data, size, starts);
  int status = 0;
  for (int32_t index = 0; index < count; ++index) {
    PlainImage image = PlainSelect(data, size, starts[index]);
    char folder[8];
    std::snprintf(folder, sizeof folder, "%03d/", static_cast<int>(index));
    const std::string prefix = flat ? "" : folder;
    if (!flat) (*tree)[prefix.substr(0, 3)] = "<dir>";
    if (image.mediaType != 0x20) return 1;
    image.firstSector = 1;
    image.lastSector = 8;
    std::fill(disk, disk + kDiskBytes, 0);
    std::fill(directory, directory + kTrackBytes, 0);
    for (int32_t track = 1; track < 154; ++track) {
      PlainReadSectors(image, track, track / 2, track % 2, 1, 3, disk + track * kTrackBytes,
                       kTrackBytes);
    }
    PlainReadSectors(image, 1, 0, 1, 1, 3, directory, kTrackBytes);
    for (int entry = 0; entry < 512 && directory[16 * entry] != 0xFF; ++entry) {
      const uint8_t* bytes = directory + 16 * entry;
      std::string name;
      for (int i = 0; i < 6 && bytes[i] != ' ' && bytes[i] != 0; ++i) name += char(bytes[i]);
      const int32_t start = bytes[12] | bytes[13] << 8;
      const int32_t end = bytes[14] | bytes[15] << 8;
      const int32_t sizeBytes = (end - start + 1) * 1024;
      const bool outside = sizeBytes < 0 || start * 1024 + sizeBytes > kDiskBytes;
      const bool unusable =
          name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos;
      if (outside || unusable) {
        status = 1;
        continue;
      }
      const char* from = reinterpret_cast<const char*>(disk) + start * 1024;
      (*tree)[prefix + name] = std::string(from, static_cast<size_t>(sizeBytes));
    }
  }
  return status;
}

// Runs the tool in the scratch run directory with its output silenced.
int RunTool(const char* path, bool flat) {
  const Scratch& scratch = GetScratch();
  std::error_code error;
  fs::current_path(scratch.runDirectory, error);
  Check(!error);
  char program[] = "d88extract";
  char flag[] = "-d";
  std::string input = path;
  char* argv[] = {program, input.data(), flat ? flag : nullptr, nullptr};
  std::fflush(stdout);
  std::fflush(stderr);
  const int savedOut = dup(1), savedErr = dup(2), null = open("/dev/null", O_WRONLY);
  dup2(null, 1);
  dup2(null, 2);
  runReader.emplace();
  const int status = RunExtractor(flat ? 3 : 2, argv, *runReader);
  std::fflush(stdout);
  std::fflush(stderr);
  dup2(savedOut, 1);
  dup2(savedErr, 2);
  close(savedOut);
  close(savedErr);
  close(null);
  fs::current_path(scratch.home, error);
  Check(!error);
  return status;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Scratch& scratch = GetScratch();
  Parameters parameters(data, size);
  const bool flat = parameters.Next(2) == 0;
  const int status = RunTool(WriteInput(data, size), flat);
  Tree expected;
  Check(status == ExpectedRun(data, size, flat, &expected));
  Check(ReadTree(scratch.runDirectory) == expected);
  // Nothing lies beside the run directory but the input.
  std::error_code error;
  int besideRun = 0;
  for (const auto& entry : fs::directory_iterator(scratch.base, error)) {
    Check(entry.path() == scratch.runDirectory || entry.path() == scratch.inputFile);
    ++besideRun;
  }
  Check(besideRun == 2);
  for (const auto& entry : fs::directory_iterator(scratch.runDirectory, error)) {
    fs::remove_all(entry.path(), error);
  }
  Check(!error);
  return 0;
}
