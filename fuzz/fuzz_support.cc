#include "fuzz/fuzz_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <system_error>

namespace fs = std::filesystem;

namespace {

void RemoveScratch() {
  std::error_code error;
  fs::remove_all(GetScratch().base, error);
}

}  // namespace

const Scratch& GetScratch() {
  static const Scratch scratch = [] {
    std::error_code error;
    // A memory file system spares the disk every input's writes.
    const fs::path memory = "/dev/shm";
    const fs::path root = fs::is_directory(memory, error) ? memory : fs::temp_directory_path(error);
    const fs::path base = root / ("d88extract-fuzz-" + std::to_string(static_cast<long>(getpid())));
    fs::create_directories(base / "run", error);
    if (error) std::abort();
    return Scratch{fs::current_path(error), base, base / "run", base / "input.d88"};
  }();
  // Registered after `scratch` is made, so it runs before `scratch` goes.
  static const bool removedAtExit = std::atexit(RemoveScratch) == 0;
  (void)removedAtExit;
  return scratch;
}

const char* WriteInput(const uint8_t* data, size_t size) {
  const Scratch& scratch = GetScratch();
  std::FILE* file = std::fopen(scratch.inputFile.c_str(), "wb");
  Check(file != nullptr);
  Check(size == 0 || std::fwrite(data, 1, size, file) == size);
  Check(std::fclose(file) == 0);
  return scratch.inputFile.c_str();
}

void Check(bool holds) {
  if (!holds) std::abort();
}

Parameters::Parameters(const uint8_t* data, size_t size) : state(static_cast<uint32_t>(size)) {
  for (size_t i = 0; i < size && i < 64; ++i) state = state * 31 + data[i];
}

uint32_t Parameters::Next(uint32_t bound) {
  state = state * 1103515245u + 12345u;
  return (state >> 8) % bound;
}
