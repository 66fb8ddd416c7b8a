// What the two fuzz targets share: a scratch folder on a memory file system
// where there is one, the input written there as a D88 file, and parameters
// drawn from the input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

struct Scratch {
  std::filesystem::path home;          // the working directory to come back to
  std::filesystem::path base;          // everything below it is ours
  std::filesystem::path runDirectory;  // where a run writes: base/run
  std::filesystem::path inputFile;     // the input as a file: base/input.d88
};

// Made at the first call, under /dev/shm where it exists (else the temporary
// folder), and removed at exit.
const Scratch& GetScratch();

// Writes the input as the scratch D88 file and returns its path.
const char* WriteInput(const uint8_t* data, size_t size);

// Aborts, so that the fuzzer keeps the input, when `holds` is false.
void Check(bool holds);

// A small deterministic stream of numbers drawn from the input itself.
struct Parameters {
  explicit Parameters(const uint8_t* data, size_t size);
  uint32_t Next(uint32_t bound);
  uint32_t state;
};
