// Writes the benchmark's two D88 files with the project's image builder:
// make_bench_inputs FULL.d88 HOSTILE.d88
//   FULL: 64 valid 2HD images, each with about 40 files of varied sizes and
//         names unique across the file (about 80 MB).
//   HOSTILE: 64 images whose every track leads into one chain of 65,535
//         records with sector count 65535 (about 1 MB).
#include <cstdint>
#include <cstdio>
#include <vector>

#include "tools/d88_builder.h"

namespace {

using d88build::Bytes;

d88build::Image FullDisk(int image, uint32_t* random) {
  auto next = [random] { return *random = *random * 1664525u + 1013904223u; };
  d88build::Disk disk;
  char name[17];
  std::snprintf(name, sizeof name, "BENCH DISK %02d", image);
  disk.name = name;
  for (size_t i = 0; i < disk.bytes.size(); ++i) disk.bytes[i] = static_cast<uint8_t>(next() >> 24);
  int unit = d88build::kFirstFileUnit;
  int entry = 0;
  for (; entry < 40 && unit < 1232; ++entry) {
    int units = 1 + static_cast<int>(next() % 59);
    if (unit + units > 1232) units = 1232 - unit;
    char fileName[8];
    std::snprintf(fileName, sizeof fileName, "I%02dF%02d", image, entry);
    d88build::SetDirectoryEntry(&disk, entry, fileName, static_cast<uint16_t>(unit),
                                static_cast<uint16_t>(unit + units - 1));
    unit += units;
  }
  if (entry < 512) d88build::EndDirectory(&disk, entry);
  return d88build::ImageFromDisk(disk);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_bench_inputs FULL.d88 HOSTILE.d88\n");
    return 1;
  }
  uint32_t random = 2026;
  std::vector<d88build::Image> images;
  for (int image = 0; image < 64; ++image) images.push_back(FullDisk(image, &random));
  if (!d88build::WriteFileBytes(argv[1], d88build::BuildD88(images)) ||
      !d88build::WriteFileBytes(argv[2], d88build::BuildHostileChain(64, 65535))) {
    std::fprintf(stderr, "make_bench_inputs: cannot write the inputs\n");
    return 1;
  }
  return 0;
}
