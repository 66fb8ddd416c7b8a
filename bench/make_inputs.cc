// Writes the benchmark's D88 files with the project's image builder:
// make_bench_inputs DIR [--large]   or   make_bench_inputs DIR --batch COUNT
//   full.d88     64 valid 2HD images, each with about 40 files of varied
//                sizes and names unique across the file (about 80 MB)
//   hostile.d88  64 images whose every track leads into one chain of 65,535
//                records with sector count 65535 (about 1 MB)
// and the family of long walks that start far apart (WalkFamily), each with
// walks of 65,535 records that read no sector:
//   turns-2, turns-5, turns-17.d88  one image counted 32 times, its tracks
//                taking 2, 5 or 17 starts in turn, 70,000 records apart
//   overlap.d88  one image counted 32 times, its tracks at 154 starts 400
//                records apart, so that their walks overlap
//   images.d88   63 images 160 records apart, every track of every one at
//                a start of its own: 9,702 walks, no two from one start
// With --large, past the reader's memory bound:
//   turns-1g.d88  154 starts in turn, 400,000 records apart (1 GB)
//   sparse.d88    2 starts in turn, records of 8 KiB of data (1.1 GB, sparse)
// With --batch, only COUNT small D88 files (disk-0000.d88 ...), each one
// image of 4 tracks with 3 files, for the batch recipe's benchmark.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
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

// `count` starts, `apart` records apart.
std::vector<int> Starts(int count, int apart) {
  std::vector<int> starts;
  for (int i = 0; i < count; ++i) starts.push_back(i * apart);
  return starts;
}

// A small disk, as archives hold many: tracks 1 to 4, three files.
Bytes SmallD88(int index) {
  d88build::Disk disk;
  char name[17];
  std::snprintf(name, sizeof name, "SMALL %04d", index);
  disk.name = name;
  int unit = d88build::AddFile(&disk, 0, "TEXT", 16, d88build::TextBytes(name), 0x1A);
  unit = d88build::AddFile(&disk, 1, "DATA", unit, d88build::PatternBytes(9000, static_cast<uint8_t>(index)));
  d88build::AddFile(&disk, 2, "MORE", unit, d88build::PatternBytes(3000, 7));
  d88build::EndDirectory(&disk, 3);
  d88build::Image image;
  image.name = name;
  for (int track = 1; track <= 4; ++track) image.tracks[track] = d88build::TrackRecords(disk, track);
  return d88build::BuildD88({image});
}

bool WriteBatch(const std::string& dir, int count) {
  for (int index = 0; index < count; ++index) {
    char name[32];
    std::snprintf(name, sizeof name, "/disk-%04d.d88", index);
    if (!d88build::WriteFileBytes(dir + name, SmallD88(index))) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[2]) == "--batch") {
    if (WriteBatch(argv[1], std::atoi(argv[3]))) return 0;
    std::fprintf(stderr, "make_bench_inputs: cannot write the batch\n");
    return 1;
  }
  if (argc < 2 || argc > 3 || (argc == 3 && std::string(argv[2]) != "--large")) {
    std::fprintf(stderr, "usage: make_bench_inputs DIR [--large] | DIR --batch COUNT\n");
    return 1;
  }
  const std::string dir = argv[1];
  uint32_t random = 2026;
  std::vector<d88build::Image> images;
  for (int image = 0; image < 64; ++image) images.push_back(FullDisk(image, &random));
  bool written =
      d88build::WriteFileBytes(dir + "/full.d88", d88build::BuildD88(images)) &&
      d88build::WriteFileBytes(dir + "/hostile.d88", d88build::BuildHostileChain(64, 65535));
  struct Member {
    const char* name;
    d88build::WalkFamily family;
  };
  std::vector<Member> members = {
      {"turns-2", {1, 0, Starts(2, 70000)}},   {"turns-5", {1, 0, Starts(5, 70000)}},
      {"turns-17", {1, 0, Starts(17, 70000)}}, {"overlap", {1, 0, Starts(154, 400)}},
      {"images", {63, 160, Starts(154, 1)}},
  };
  if (argc == 3) {
    members.push_back({"turns-1g", {1, 0, Starts(154, 400000)}});
    members.push_back({"sparse", {1, 0, Starts(2, 70000), true, 8192}});
  }
  for (const Member& member : members) {
    written = written && d88build::WriteWalkFamily(dir + "/" + member.name + ".d88", member.family);
  }
  if (!written) {
    std::fprintf(stderr, "make_bench_inputs: cannot write the inputs\n");
    return 1;
  }
  return 0;
}
