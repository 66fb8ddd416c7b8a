// Writes the fuzz targets' seed corpus, made with the project's image
// builder: make_fuzz_seeds DIRECTORY FAMILY_DIRECTORY. The second gets the
// long-walk family (1 to 2 MB each): replayed in the tests and in long
// campaigns, too slow for short fuzzing runs.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/d88_builder.h"

namespace {

using d88build::Bytes;
using d88build::Image;

// A 2HD image with only tracks 1 to 3: a directory and 16 units of files,
// small enough for the fuzzer to work on.
Image SmallDisk(const std::string& name) {
  d88build::Disk disk;
  disk.name = name;
  int unit = d88build::AddFile(&disk, 0, "TEXT", 16, d88build::TextBytes("hello\r\n"), 0x1A);
  unit = d88build::AddFile(&disk, 1, "BIN", unit, d88build::PatternBytes(3000, 7));
  d88build::SetDirectoryEntry(&disk, 2, "SPAN", 20, 27);
  d88build::EndDirectory(&disk, 3);
  Image image;
  image.name = name;
  for (int track = 1; track <= 3; ++track)
    image.tracks[track] = d88build::TrackRecords(disk, track);
  return image;
}

Image OddRecords() {
  Image image = SmallDisk("ODD");
  auto& track1 = image.tracks[1];
  std::swap(track1[0], track1[5]);
  track1[2].dataSizeField = 700;
  track1[3].sectorCount = 0;
  track1[4].data.resize(512);
  image.tracks[2][0].sectorCount = 65535;
  image.tracks[3].push_back(image.tracks[3][1]);  // a duplicate sector
  image.trackOffsetOverrides[4] = 0x80000000;
  image.trackOffsetOverrides[5] = 0x7FFFFFF0;
  image.trackOffsetOverrides[6] = 700;  // inside a record
  return image;
}

Image OddNames() {
  d88build::Disk disk;
  const char* names[] = {".", "..", "A/B", "", "OK", "\x83\x51\x81\x5B\x83\x80", "A\\B"};
  int entry = 0;
  for (const char* name : names) d88build::SetDirectoryEntry(&disk, entry++, name, 16, 16);
  d88build::SetDirectoryEntry(&disk, entry++, "PAST", 1231, 1240);
  d88build::SetDirectoryEntry(&disk, entry++, "NEG", 20, 10);
  d88build::SetDirectoryEntry(&disk, entry++, "EMPTY", 20, 19);
  Image image;
  image.name = "NAMES";
  for (int track = 1; track <= 2; ++track)
    image.tracks[track] = d88build::TrackRecords(disk, track);
  return image;
}

std::vector<int> Starts(int count, int apart) {
  std::vector<int> starts;
  for (int i = 0; i < count; ++i) starts.push_back(i * apart);
  return starts;
}

bool Write(const std::string& directory, const char* name, const Bytes& bytes) {
  const std::string path = directory + "/" + name;
  if (d88build::WriteFileBytes(path, bytes)) return true;
  std::fprintf(stderr, "make_fuzz_seeds: cannot write %s\n", path.c_str());
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_fuzz_seeds DIRECTORY FAMILY_DIRECTORY\n");
    return 1;
  }
  const std::string dir = argv[1], familyDir = argv[2];
  Image dd = SmallDisk("2DD");
  dd.mediaType = 0x10;
  Bytes truncated = d88build::BuildD88({SmallDisk("CUT")});
  truncated.resize(688 + 16 + 1024 + 16 + 300);
  Image zeroSize = SmallDisk("LOOP");
  zeroSize.diskSizeOverride = 0;
  bool ok = true;
  ok = Write(dir, "two_disks.d88", d88build::BuildD88({SmallDisk("ONE"), SmallDisk("TWO")})) && ok;
  ok = Write(dir, "odd_records.d88", d88build::BuildD88({OddRecords()})) && ok;
  ok = Write(dir, "odd_names.d88", d88build::BuildD88({OddNames()})) && ok;
  ok = Write(dir, "truncated.d88", truncated) && ok;
  ok = Write(dir, "unsupported_second.d88", d88build::BuildD88({SmallDisk("OK"), dd})) && ok;
  ok = Write(dir, "disk_size_zero.d88", d88build::BuildD88({zeroSize})) && ok;
  ok = Write(dir, "hostile_chain.d88", d88build::BuildHostileChain(8, 600)) && ok;
  ok = Write(dir, "header_only.d88", d88build::BuildImage(Image{})) && ok;
  // Walks of 65,535 records: from two starts 70,000 records apart, from 154
  // starts 40 apart, and from every record of three images in a row.
  const struct {
    const char* name;
    d88build::WalkFamily family;
  } members[] = {
      {"turns.d88", {1, 0, {0, 70000}, false}},
      {"overlap.d88", {1, 0, Starts(154, 40), false}},
      {"images.d88", {3, 160, Starts(154, 1), false}},
  };
  for (const auto& [name, family] : members) {
    const std::string path = familyDir + "/" + name;
    if (d88build::WriteWalkFamily(path, family)) continue;
    std::fprintf(stderr, "make_fuzz_seeds: cannot write %s\n", path.c_str());
    ok = false;
  }
  return ok ? 0 : 1;
}
