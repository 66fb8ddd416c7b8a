// Builds D88 files in memory for tests, samples, fuzz seeds and benchmarks:
// well-formed 2HD disks with a directory, and any malformed container
// (odd sector counts and data sizes, records out of order, bad offsets,
// truncation) by editing the plain structures before they are built.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "extract/disk_directory.h"
#include "extract/disk_geometry.h"
#include "image/d88_format.h"

namespace d88build {

using Bytes = std::vector<uint8_t>;

struct Record {
  uint8_t c = 0, h = 0, r = 1, n = 3;
  uint16_t sectorCount = 1;
  Bytes data;
  std::optional<uint16_t> dataSizeField;  // a header that lies about its data size
};

struct Image {
  std::string name;  // the 16-byte name field; longer names are cut
  uint8_t mediaType = 0x20;
  std::map<int, std::vector<Record>> tracks;  // laid out in track order after the header
  std::map<int, uint32_t> trackOffsetOverrides;
  std::optional<uint32_t> diskSizeOverride;  // default: the built image's length
};

Bytes BuildImage(const Image& image);
Bytes BuildD88(const std::vector<Image>& images);

// Appends the record with its header to `out`.
void AppendRecord(const Record& record, Bytes* out);

void PutLE16(Bytes* bytes, size_t offset, uint16_t value);
void PutLE32(Bytes* bytes, size_t offset, uint32_t value);

// A 2HD disk as the tool sees it (extract/disk_geometry.h): 154 tracks of 8
// sectors of 1024 bytes, unit u at byte u * 1024, the directory of 16-byte
// entries on track 1.
constexpr int kFirstFileUnit = 16;  // units 0-7 are track 0, 8-15 the directory

struct Disk {
  std::string name;
  Bytes bytes = Bytes(static_cast<size_t>(kDiskBytes), 0);
};

// Writes directory entry `entry`: `name` padded with spaces to six bytes (or
// cut to six), the first and last unit of the file.
void SetDirectoryEntry(Disk* disk, int entry, const std::string& name, uint16_t startUnit,
                       uint16_t endUnit);
// Marks `entry` as the end of the directory.
void EndDirectory(Disk* disk, int entry);
// Copies `contents` to the disk from unit `startUnit` on.
void PutUnits(Disk* disk, int startUnit, const Bytes& contents);
// Stores a file: contents at `startUnit`, padded with `fill` to whole units,
// and its directory entry. Returns the unit after the file.
int AddFile(Disk* disk, int entry, const std::string& name, int startUnit, const Bytes& contents,
            uint8_t fill = 0);

// A 2HD image holding every track of `disk` as 8 records of 1024 bytes in
// sector order, each with sector count 8.
Image ImageFromDisk(const Disk& disk);

// The eight records of track `track` of `disk`.
std::vector<Record> TrackRecords(const Disk& disk, int track);

// The longest walks the format allows: `images` images of 704 bytes, image i
// at 704 * i, whose 164 tracks all start at offset 688, so every walk of every
// image enters one chain of `records` records (from record i on), each with
// sector count 65535. Records 0 to images - 2 carry the next image's header
// as their data; the rest have none. All but the last `images` records are
// R 1 with C of 0x80 or more and never match; the last `images` records are
// C 0, H 1, R 1, N 3 with one data byte 0xFF.
Bytes BuildHostileChain(int images, int records);

// Long walks that start far apart: one chain of records, each with sector
// count 65535 (so only the cap of 65,535 records ends a walk) and C of 0x80
// or more (so no sector read finds anything), through which `images`
// usable images are laid, image k's first record `spacing` records after
// image k - 1's, each image's header the data of the record before it.
// Track t of an image starts at record starts[t % starts.size()] of it;
// every start must be below spacing - 1. With `cycle`, an image after the
// last steps back to the first, so the file holds 64 images. Records carry
// `dataBytes` bytes of data, never written: the file is sparse.
struct WalkFamily {
  int images = 1;
  int spacing = 0;
  std::vector<int> starts;
  bool cycle = true;
  int dataBytes = 0;
};
bool WriteWalkFamily(const std::string& path, const WalkFamily& family);

// The general shape of the benchmark's long walks: one chain of `records`
// records (record r has `sectorCountOf(r)`, by default 65535, and C/H/R/N
// 0x80 | r % 0x80, 0, 1, 3, so no sector read finds one), some of which
// carry an image's header as their data; the rest carry `dataBytesOf(r)`
// bytes, never written (the file has holes there). Image i starts in the
// data of record `carrier` (-1: at the file's start, with record 0 right
// after its header); track t of it starts at record `starts[t]` (-1:
// absent), which must lie within it; it ends where image `next` starts (-1:
// where the file ends), stepping back when that one lies before it.
struct ChainImage {
  int carrier = -1;
  std::vector<int> starts;
  int next = -1;
};
struct ChainFile {
  int records = 0;
  std::function<int(int)> dataBytesOf = [](int) { return 0; };
  std::function<int(int)> sectorCountOf = [](int) { return 65535; };
  std::vector<ChainImage> images;
};
// False when the file cannot be written or a track would not be usable.
bool WriteChainFile(const std::string& path, const ChainFile& chain);

Bytes TextBytes(const std::string& text);
// `length` bytes counting up from `seed`, wrapping at 256.
Bytes PatternBytes(size_t length, uint8_t seed);

bool WriteFileBytes(const std::string& path, const Bytes& bytes);

}  // namespace d88build
