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
// and inputs built against ways of reading it (WriteChainFile, WriteWoven):
//   flood.d88    one image over a chain of 400,000 records whose positions
//                all fall in 1/16 of the slots of a position table under the
//                fixed hash the reader once used, gaps as small as allowed
//   past-16.d88, past-512.d88  image 0's tracks 1 to 100 walk distinct
//                stretches of 65,535 packed records (6.5 million: more than
//                a reader keeping 6 Mi records holds), then 63 images walk
//                one chain of 65,599 records 16 or 512 bytes apart
//   runs-63.d88, runs-64.d88  1,042 walks that each end after 63 (64)
//                records lay down a chain, then walks that cross all of them
//   cycle.d88    the worst order of walks for a reader keeping 6 Mi records:
//                one image counted 32 times whose tracks take 110 starts
//                70,000 packed records apart in turn
//   woven-2464.d88  the sweep's worst: 2,464 chains woven record by record,
//                532 records each, each walked from two records 100 apart
//                (4,928 walks), with sector counts that each cost a lookup;
//                the walk budget is spent on them first (21 MB)
// With --large, files of 0.1 to 2 GB:
//   turns-1g.d88  154 starts in turn, 400,000 records apart (1 GB)
//   sparse.d88    2 starts in turn, records of 8 KiB of data (1.1 GB, sparse)
//   past-30000.d88  as past-16, the chain's records 30,000 bytes apart (2 GB)
//   woven-110.d88, woven-256.d88  as woven-2464, 110 (256) chains of
//                65,600 records each (115 and 269 MB)
// With --batch, only COUNT small D88 files (disk-0000.d88 ...), each one
// image of 4 tracks with 3 files, for the batch recipe's benchmark.
#include <algorithm>
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

// One image over 300,000 records, each the nearest past the last (16 bytes
// at least) whose position P puts (P * 0x9E3779B97F4A7C15) >> 32 in the
// first 1/16 of a table of 2^19 slots (and 1/8 of one of 2^18): one cluster
// that every probe crosses. Its tracks start 1,950 records apart.
bool WriteFlood(const std::string& path) {
  constexpr int kRecords = 300000;
  std::vector<int> gaps;
  uint64_t position = 688;
  for (int r = 0; r < kRecords; ++r) {
    uint64_t next = position + 16;
    while (((next * 0x9E3779B97F4A7C15u) >> 32 & 0x78000) != 0) ++next;
    gaps.push_back(static_cast<int>(next - position - 16));
    position = next;
  }
  d88build::ChainFile chain;
  chain.records = kRecords;
  chain.dataBytesOf = [&gaps](int r) { return gaps[static_cast<size_t>(r)]; };
  chain.images = {{-1, Starts(154, 1950), -1}};
  return d88build::WriteChainFile(path, chain);
}

// Image 0's tracks 1 to 100 walk distinct stretches 70,000 packed records
// apart, the last into the chain the later images walk, so that none of it
// lies behind them; images 1 to 63, each right after the one before as the
// data of a record, walk from the record after their header down one chain
// of 65,599 records `apart` bytes apart.
bool WritePastTheBound(const std::string& path, int apart) {
  constexpr int kFillers = 100, kChain = 65599;
  const int first = kFillers * 70000;  // image 1's carrier
  d88build::ChainFile chain;
  chain.records = first + 63 + kChain;
  chain.dataBytesOf = [first, apart](int r) { return r < first ? 0 : apart - 16; };
  std::vector<int> fillers(164, -1);
  for (int t = 1; t <= kFillers; ++t) fillers[static_cast<size_t>(t)] = (t - 1) * 70000;
  fillers[kFillers] = first - 1000;
  chain.images.push_back({-1, fillers, 1});
  for (int i = 1; i < 64; ++i) {
    chain.images.push_back({first + i - 1, std::vector<int>(164, first + i), i < 63 ? i + 1 : -1});
  }
  return d88build::WriteChainFile(path, chain);
}

// Seven images each lay down 153 stretches of `run` records (1,042 in all),
// each image its last stretch first: a walk from a stretch's first record ends at its
// last, whose sector count is `run`. Then an image whose header is the data
// of record 0 walks from records 1 to 153, across every stretch, and the
// six images after the first come again, seven times, stepping back from an
// empty image.
bool WriteRuns(const std::string& path, int run) {
  constexpr int kRuns = 1042;
  d88build::ChainFile chain;
  chain.records = kRuns * run + 65535;
  chain.sectorCountOf = [run](int r) { return r < kRuns * run && r % run == run - 1 ? run : 65535; };
  const int crossing = 7, back = 8;
  for (int i = 0; i < 7; ++i) {
    std::vector<int> starts(164, -1);
    const int runs = std::min(153, kRuns - 153 * i);
    for (int t = 1; t <= runs; ++t) starts[static_cast<size_t>(t)] = run * (153 * i + runs - t);
    chain.images.push_back({i == 0 ? -1 : run * 153 * i - 1, starts, i < 6 ? i + 1 : back});
  }
  std::vector<int> across(164, -1);
  for (int t = 1; t <= 153; ++t) across[static_cast<size_t>(t)] = t;
  chain.images.push_back({0, across, 1});                                  // crossing
  chain.images.push_back({chain.records - 1, std::vector<int>(), crossing});  // back
  return d88build::WriteChainFile(path, chain);
}

// `chains` chains of `records` records woven through one another: after 32
// image headers the file is a run of 16-byte record headers, and record h of
// the run, record h / chains of chain h % chains, has `chains - 1` records of
// the others as its data. Walk w (track t of image k, w = 154 k + t) starts
// chain (w / 2) % chains at its record 0 (w even) or 100 (w odd); record i
// of a chain has sector count i - 49 from i = 50 on, which ends no walk but
// is looked up. Each of these images reaches the file's end, where a header
// of its own steps back to the next one: 64 images.
bool WriteWoven(const std::string& path, int chains, int64_t records) {
  constexpr int kFront = 32;
  const int64_t run = 688 * kFront, end = run + records * chains * 16;
  Bytes bytes, back;
  for (int k = 0; k < kFront; ++k) {
    d88build::Image front, stepBack;
    front.name = "WOVEN";
    for (int t = 0; t < 164; ++t) {
      const int w = 154 * k + t;
      const int64_t start = run + 16 * ((w / 2) % chains + (w % 2) * 100 * int64_t{chains});
      front.trackOffsetOverrides[t] = static_cast<uint32_t>(start - 688 * k);
    }
    front.diskSizeOverride = static_cast<uint32_t>(end);
    stepBack.name = "BACK";
    stepBack.diskSizeOverride = static_cast<uint32_t>(688 - end);
    const Bytes header = d88build::BuildImage(front), backHeader = d88build::BuildImage(stepBack);
    bytes.insert(bytes.end(), header.begin(), header.begin() + 688);
    back.insert(back.end(), backHeader.begin(), backHeader.begin() + 688);
  }
  bytes.reserve(static_cast<size_t>(end) + back.size());
  d88build::Record record;
  record.dataSizeField = static_cast<uint16_t>(16 * (chains - 1));
  // Track 0's sectors (never loaded): the walks of track 0 look each one up.
  record.c = record.h = 0;
  for (int64_t h = 0; h < records * chains; ++h) {
    const int64_t i = h / chains;
    record.r = static_cast<uint8_t>(1 + h % 8);
    record.sectorCount = static_cast<uint16_t>(i < 50 ? 65535 : std::min<int64_t>(i - 49, 65535));
    d88build::AppendRecord(record, &bytes);
  }
  bytes.insert(bytes.end(), back.begin(), back.end());
  return d88build::WriteFileBytes(path, bytes);
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
      {"images", {63, 160, Starts(154, 1)}},   {"cycle", {1, 0, Starts(110, 70000)}},
  };
  if (argc == 3) {
    members.push_back({"turns-1g", {1, 0, Starts(154, 400000)}});
    members.push_back({"sparse", {1, 0, Starts(2, 70000), true, 8192}});
  }
  for (const Member& member : members) {
    written = written && d88build::WriteWalkFamily(dir + "/" + member.name + ".d88", member.family);
  }
  written = written && WriteFlood(dir + "/flood.d88") &&
            WritePastTheBound(dir + "/past-16.d88", 16) &&
            WritePastTheBound(dir + "/past-512.d88", 512) && WriteRuns(dir + "/runs-63.d88", 63) &&
            WriteRuns(dir + "/runs-64.d88", 64) && WriteWoven(dir + "/woven-2464.d88", 2464, 532) &&
            (argc != 3 || (WritePastTheBound(dir + "/past-30000.d88", 30000) &&
                           WriteWoven(dir + "/woven-110.d88", 110, 65600) &&
                           WriteWoven(dir + "/woven-256.d88", 256, 65600)));
  if (!written) {
    std::fprintf(stderr, "make_bench_inputs: cannot write the inputs\n");
    return 1;
  }
  return 0;
}
