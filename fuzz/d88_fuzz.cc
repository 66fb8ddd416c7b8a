// Fuzz target: the input is a D88 file. Drives every reader operation over
// every image and track, with ranges and lengths taken from the input, then
// the whole tool run over it in a scratch directory that is emptied after
// each input and removed at exit.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

#include "extract/run.h"
#include "image/d88_file.h"

namespace {

namespace fs = std::filesystem;

D88File d88;
std::optional<D88File> runReader;  // a fresh one for each run, as the tool has
uint8_t buffer[2 * 65536 + 64];

struct Scratch {
  fs::path home;       // the working directory to come back to
  fs::path directory;  // where each run writes
  fs::path inputFile;  // the input as a file, beside it
};

void RemoveScratch();

const Scratch& GetScratch() {
  static const Scratch scratch = [] {
    std::error_code error;
    const fs::path base = fs::temp_directory_path(error) /
                          ("d88extract-fuzz-" + std::to_string(static_cast<long>(getpid())));
    fs::create_directories(base / "run", error);
    return Scratch{fs::current_path(error), base / "run", base / "input.d88"};
  }();
  // Registered after `scratch` is made, so it runs before `scratch` goes.
  static const bool removedAtExit = std::atexit(RemoveScratch) == 0;
  (void)removedAtExit;
  return scratch;
}

void RemoveScratch() {
  std::error_code error;
  fs::remove_all(GetScratch().directory.parent_path(), error);
}

// A small deterministic stream of parameters drawn from the input itself.
struct Parameters {
  uint32_t state;
  uint32_t Next(uint32_t bound) {
    state = state * 1103515245u + 12345u;
    return (state >> 8) % bound;
  }
};

void DriveReader(const char* path, Parameters* parameters) {
  if (!d88.Open(path)) return;
  for (int32_t image = 0; image < d88.GetImageCount(); ++image) {
    if (!d88.SelectImage(image)) std::abort();  // cannot fail on an open file
    for (int32_t track = -1; track <= 164; ++track) {
      const int32_t idLength = static_cast<int32_t>(parameters->Next(4 * 70));
      const int32_t ids = d88.ReadSectorIds(track, buffer, idLength);
      if (ids < 0 || ids > idLength || ids % 4 != 0) std::abort();
      // Ask for sectors the track says it has, and for some it does not.
      const int32_t c = ids >= 4 ? buffer[0] : static_cast<int32_t>(parameters->Next(300)) - 10;
      const int32_t h = ids >= 4 ? buffer[1] : static_cast<int32_t>(parameters->Next(3));
      const int32_t r = ids >= 4 ? buffer[2] : static_cast<int32_t>(parameters->Next(20));
      const int32_t n = static_cast<int32_t>(parameters->Next(8));
      const int32_t maxLength = static_cast<int32_t>(parameters->Next(2048));
      const int32_t one = d88.ReadSector(track, c, h, r, n, buffer, maxLength);
      if (one < 0 || one > maxLength) std::abort();
      d88.SetSectorRange(static_cast<int32_t>(parameters->Next(4)),
                         static_cast<int32_t>(parameters->Next(20)));
      const int32_t length = static_cast<int32_t>(parameters->Next(sizeof buffer));
      const int32_t run = d88.ReadSectors(track, c, h, r, n % 4, buffer, length);
      if (run < 0 || run > length) std::abort();
    }
  }
  d88.SelectImage(-1);
  d88.SelectImage(d88.GetImageCount());
  d88.Open(nullptr);
}

void RunTool(const char* path, bool flat) {
  const Scratch& scratch = GetScratch();
  std::error_code error;
  fs::current_path(scratch.directory, error);
  if (error) std::abort();
  char program[] = "d88extract";
  char flag[] = "-d";
  std::string input = path;
  char* argv[] = {program, input.data(), flat ? flag : nullptr, nullptr};
  // The run's listing and messages would drown the fuzzer's own.
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
  if (status != 0 && status != 1) std::abort();
  // An unsupported image ends the run inside its directory.
  fs::current_path(scratch.home, error);
  for (const auto& entry : fs::directory_iterator(scratch.directory, error)) {
    fs::remove_all(entry.path(), error);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Scratch& scratch = GetScratch();
  std::FILE* file = std::fopen(scratch.inputFile.c_str(), "wb");
  if (file == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
  std::fclose(file);

  Parameters parameters{static_cast<uint32_t>(size)};
  for (size_t i = 0; i < size && i < 64; ++i) parameters.state = parameters.state * 31 + data[i];
  DriveReader(scratch.inputFile.c_str(), &parameters);
  RunTool(scratch.inputFile.c_str(), parameters.Next(2) == 0);
  return 0;
}
