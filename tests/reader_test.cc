// The reader on its own: literal expectations, and chains too long to fuzz.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>

#include "image/d88_file.h"
#include "tests/test_support.h"

namespace {

using d88build::Image;
using d88build::Record;
constexpr uint8_t kUntouched = 0xAA;

Record Sector(uint8_t c, uint8_t h, uint8_t r, uint8_t n, uint16_t sectorCount, Bytes data) {
  return Record{c, h, r, n, sectorCount, std::move(data)};
}

Image Named(const std::string& name, std::optional<uint32_t> diskSize = std::nullopt) {
  return Image{name, 0x20, {}, {}, diskSize};
}

// The records a walk visits: to the one whose sector count says it is last; 65,535 at most.
std::vector<Record> WalkFrom(const std::vector<Record>& records, size_t first) {
  std::vector<Record> walk;
  for (size_t i = first; i < records.size() && walk.size() < 65535; ++i) {
    walk.push_back(records[i]);
    if (walk.size() == records[i].sectorCount) break;
  }
  return walk;
}

class ReaderTest : public ::testing::Test {
 protected:
  void OpenBytes(const Bytes& bytes) {
    WriteFileOrDie(path, bytes);
    ASSERT_TRUE(d88.Open(path.c_str()));
  }

  TempDir dir;
  const fs::path path = dir.path / "disk.d88";
  D88File d88;
};

// Spelled out byte by byte: the builder and the reader share no mistake.
TEST_F(ReaderTest, ReadsLiteralHeader) {
  std::string bytes(688 + 12 + 17, '\0');
  bytes.replace(0, 17, "SIXTEEN BYTES ..X");   // all 16 are the name, with no 0x00 after
  bytes.replace(0x1B, 3, "\x20\xCD\x02");      // 2HD, disk size 717 = 0x2CD
  bytes.replace(0x20 + 4 * 3, 2, "\xBC\x02");  // track 3 at 700 = 0x2BC
  // At 700: C 1, H 1, R 2, N 3, 1 record, 1 byte of data, 0x77.
  bytes.replace(700, 17, std::string("\x01\x01\x02\x03\x01\0\0\0\0\0\0\0\0\0\x01\0\x77", 17));
  OpenBytes(Bytes(bytes.begin(), bytes.end()));
  EXPECT_EQ(d88.GetImageCount(), 1);
  ASSERT_TRUE(d88.SelectImage(0));
  EXPECT_STREQ(d88.GetDiskName(), "SIXTEEN BYTES ..");
  EXPECT_EQ(d88.GetMediaType(), 0x20);
  uint8_t byte = 0;
  EXPECT_EQ(d88.ReadSector(3, 1, 1, 2, 3, &byte, 1), 1);
  EXPECT_EQ(byte, 0x77);
}

TEST_F(ReaderTest, ScanFindsTheImages) {
  Image high = Named("HIGH", 0x80000000), track1 = Named("TRACK1");
  high.tracks[1] = track1.tracks[1] = {Sector(0, 1, 1, 3, 1, {})};  // 704 bytes in all
  const Bytes stepBack = BuildD88({track1, Named("B", static_cast<uint32_t>(-704))});
  const struct {
    const char* what;
    Bytes file;
    int32_t count = 1, select = 0;
    const char* name;
  } rows[] = {
      {.what = "shorter than a header", .file = Bytes(687, 0x20), .count = 0, .name = ""},
      {.what = "disk size 0", .file = BuildD88({Named("LOOP", 0)}), .count = 64, .select = 40,
       .name = "LOOP"},
      {.what = "disk size 0x80000000", .file = BuildD88({high}), .name = "HIGH"},
      {.what = "track 1 at the image's end", .file = BuildD88({track1}), .name = "TRACK1"},
      {.what = "a negative size", .file = stepBack, .count = 64, .select = 63, .name = "B"},
      {.what = "to 0x7FFFFFFF", .file = BuildD88({Named("A"), Named("HUGE", 0x7FFFFFFF - 688)}),
       .count = 2, .select = 1, .name = "HUGE"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    OpenBytes(row.file);
    EXPECT_EQ(d88.GetMediaType(), -1);  // Open forgets the image selected before
    EXPECT_EQ(d88.GetImageCount(), row.count);
    EXPECT_EQ(d88.SelectImage(row.select), row.count > 0);
    EXPECT_STREQ(d88.GetDiskName(), row.name);
    uint8_t ids[4];  // a disk size of 0x80000000 or more leaves no track usable
    EXPECT_EQ(d88.ReadSectorIds(1, ids, 4), row.count > 0 && row.name[0] == 'T' ? 4 : 0);
  }
  // Sparse past 2 GiB: image 2 starts at 0x7FFFFFFF, its size 0 repeats it, no image starts past.
  fs::resize_file(path, 0x80001000);
  ASSERT_TRUE(d88.Open(path.c_str()));
  EXPECT_EQ(d88.GetImageCount(), 64);
}

TEST_F(ReaderTest, OpenAndClose) {
  // Another file opened in place, before SelectImage: its own records (no sector 1 on track 2).
  Image other = PatternImage("Y");
  other.tracks[2][0].r = 9;
  const fs::path otherPath = dir.path / "other.d88", missing = dir.path / "missing";
  WriteFileOrDie(otherPath, BuildD88({PatternImage("X"), other}));
  uint8_t bytes[1024];
  for (const int how : {0, 1, 2}) {  // Close, an Open that fails, Open with no path
    SCOPED_TRACE(how);
    OpenBytes(BuildD88({PatternImage("X"), PatternImage("Y")}));
    ASSERT_TRUE(d88.SelectImage(1) && d88.ReadSector(2, 1, 0, 1, 3, bytes, 1024) == 1024);
    if (how == 0) d88.Close();
    EXPECT_EQ(how == 1 ? !d88.Open(missing.c_str()) : how == 0 || d88.Open(nullptr), true);
    EXPECT_EQ(d88.GetImageCount(), how == 1 ? 2 : 0);  // an Open that fails keeps the count
    EXPECT_EQ(d88.GetMediaType(), -1);
    EXPECT_STREQ(d88.GetDiskName(), how == 1 ? "" : "Y");
    EXPECT_FALSE(d88.SelectImage(0));  // with no file nothing changes
    EXPECT_STREQ(d88.GetDiskName(), how == 1 ? "" : "Y");
    EXPECT_EQ(d88.ReadSector(2, 1, 0, 1, 3, bytes, 1024) + d88.ReadSectorIds(2, bytes, 4), 0);
    EXPECT_FALSE(d88.ReadFailed());  // not even tried
    ASSERT_TRUE(d88.Open(otherPath.c_str()));
    EXPECT_EQ(d88.ReadSector(2, 1, 0, 1, 3, bytes, 1024), 0);
    bytes[2] = 0;
    EXPECT_EQ(d88.ReadSectorIds(2, bytes, 4), how == 1 ? 0 : 4);
    EXPECT_EQ(bytes[2], how == 1 ? 0 : 9);
  }
  // A failed read is no end of file: no image is selected until a new Open. A sweep that meets
  // it fails only the reads that cross it; none is made after one (it would forget it).
  const size_t track53 = 2 * 688 + (154 + 53) * 8 * 1040;  // of image 1
  setenv("D88_FAIL_FILE", otherPath.c_str(), 1);
  setenv("D88_FAIL_AT", std::to_string(track53 + 100).c_str(), 1);
  for (const int64_t budget : {D88File::kDefaultWalkBudget, int64_t{0}, int64_t{100000}}) {
    D88File reader(budget);
    ASSERT_TRUE(reader.Open(otherPath.c_str()) && reader.SelectImage(0));
    EXPECT_EQ(reader.ReadSectors(1, 0, 1, 1, 3, bytes, 1024), 1024);
    ASSERT_TRUE(!reader.ReadFailed() && reader.SelectImage(1));
    EXPECT_EQ(reader.ReadSectors(53, 26, 1, 1, 3, bytes, 1024), 0);
    EXPECT_TRUE(reader.ReadFailed());
    EXPECT_FALSE(reader.SelectImage(1));
    ASSERT_TRUE(reader.Open(otherPath.c_str()) && reader.SelectImage(1));
    EXPECT_TRUE(reader.ReadSectorIds(53, bytes, 8) == 0 &&
                reader.ReadSectors(3, 1, 1, 1, 3, bytes, 1024) == 1024 && reader.ReadFailed());
  }
  unsetenv("D88_FAIL_FILE");
  ASSERT_TRUE(d88.Open(otherPath.c_str()) && !d88.ReadFailed() && d88.SelectImage(1));
  EXPECT_EQ(d88.ReadSectors(53, 26, 1, 1, 3, bytes, 1024), 1024);
}

// Literal reads: `bytes` at the buffer's start, untouched after; sector r of track t holds
// Units(8 t + r - 1).
TEST_F(ReaderTest, SectorReads) {
  Image image = PatternImage("READS");
  std::reverse(image.tracks[2].begin(), image.tracks[2].end());   // any stored order
  image.tracks[8] = {Sector(5, 0, 1, 3, 9, Bytes(1024, 1)),       // wrong C
                     Sector(4, 1, 1, 3, 9, Bytes(1024, 2)),       // wrong H
                     Sector(4, 0, 1, 2, 9, Bytes(512, 3)),        // wrong N
                     Sector(4, 0, 1, 3, 9, Bytes(700, 4)),        // data size is not 128 << N
                     Sector(4, 0, 1, 3, 9, Bytes(1024, 5)),       // a later duplicate loses
                     Sector(255, 255, 255, 255, 9, Bytes(1, 6)),  // 255 is an ordinary value
                     Sector(4, 0, 2, 3, 0, Bytes(1024, 7)),       // sector count 0 ends reads
                     Sector(4, 0, 3, 3, 9, Bytes(1024, 8))};
  OpenBytes(BuildD88({image}));
  ASSERT_TRUE(d88.SelectImage(0));
  // first 0: the range as it stands (1 to 16 in a fresh reader).
  const struct {
    const char* what;
    bool run = false;
    int32_t track = 8, c = 4, h = 0, r = 1, n = 3, length = 1024, first = 1, last = 8, count = 0;
    std::string bytes;
  } rows[] = {
      {.what = "a fresh reader's range is 1 to 16: no sector 9", .run = true, .track = 2, .c = 1,
       .length = 16384, .first = 0, .count = 8192, .bytes = Units(16, 23)},
      {.what = "the first match, by its data size", .count = 700, .bytes = std::string(700, 4)},
      {.what = "N decides too", .n = 2, .count = 512, .bytes = std::string(512, 3)},
      {.what = "255 matches", .c = 255, .h = 255, .r = 255, .n = 255, .length = 16, .count = 1,
       .bytes = "\x06"},
      {.what = "sector count 0 ends the walk", .r = 2},
      {.what = "values past 255 match nothing", .n = 256 + 3},
      {.what = "size code 24 reads nothing", .run = true, .n = 24},
      {.what = "to the next cylinder", .run = true, .track = 3, .c = 1, .h = 1, .length = 4096,
       .last = 2, .count = 4096, .bytes = Units(24, 25) + Units(32, 33)},
      {.what = "wraps to the first", .run = true, .track = 6, .c = 3, .r = 5, .length = 4096,
       .first = 3, .last = 6, .count = 4096, .bytes = Units(52, 53) + Units(58, 59)},
      {.what = "a run above the range never wraps", .run = true, .track = 2, .c = 1, .r = 5,
       .length = 8192, .last = 4, .count = 4096, .bytes = Units(20, 23)},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    Bytes buffer(20000, kUntouched);
    if (row.first > 0) d88.SetSectorRange(row.first, row.last);
    const int32_t count =
        row.run ? d88.ReadSectors(row.track, row.c, row.h, row.r, row.n, buffer.data(), row.length)
                : d88.ReadSector(row.track, row.c, row.h, row.r, row.n, buffer.data(), row.length);
    EXPECT_EQ(count, row.count);
    EXPECT_EQ(AsString(buffer), row.bytes + std::string(20000 - row.bytes.size(), kUntouched));
  }
}

// 140,000 records, tracks starting inside one another's walks, walked one by one and swept
// (budget 0); then another file with records at the same places. Reads are the builder's walk's.
TEST_F(ReaderTest, LongChainsFollowTheirRecords) {
  std::mt19937 random(1232);
  const int starts[] = {0, 60000, 100000, 65535, 130000, 5, 139000, 99999, 65538};
  Image images[2];
  const fs::path paths[] = {dir.path / "a.d88", dir.path / "b.d88"};
  for (Image& image : images) {
    uint32_t offset = 688;
    for (int i = 0; i < 140000; ++i) {
      // Mostly no end; now and then the end of a walk from a start, or 0. Tracks 5 (C 2) and 8
      // (C 4) meet their C only past their cap, or near their end: no sweep ends them early.
      int sectorCount = i == 65539 ? 7 : 65535;  // where only the cap ends track 5
      const int start = starts[2 + 2 * (random() % 3)];
      if (random() % 40 == 0 && start <= i && i - start < 65535) sectorCount = i - start + 1;
      if (i > 126000 && random() % 400 == 0) sectorCount = 0;
      const size_t size = i % 7000 == 6999 ? 20000 : i % 2;
      const int c = random() % 5, h = random() % 3, r = 1 + random() % 9;
      const bool rare = (c == 2 && i < 65540) || (c == 4 && i < 125540);
      image.tracks[0].push_back(Sector(rare ? 0 : c, h, r, 3, sectorCount,
                                       Bytes(size, uint8_t(i + &image - images))));
      for (int t = 0; t < 9; ++t) {
        if (starts[t] == i) image.trackOffsetOverrides[t] = offset;
      }
      offset += 16 + static_cast<uint32_t>(size);
    }
    WriteFileOrDie(paths[&image - images], BuildD88({image}));
  }
  // Records with sector count 0 never end an ID list: only the cap does.
  Image capped = Named("CAP");
  capped.tracks[1].assign(66000, Sector(0, 0, 1, 3, 0, {}));
  OpenBytes(BuildD88({capped}));
  Bytes ids(4 * 66000);
  ASSERT_TRUE(d88.SelectImage(0));
  EXPECT_EQ(d88.ReadSectorIds(1, ids.data(), 4 * 66000), 4 * 65535);
  for (const int64_t budget : {D88File::kDefaultWalkBudget, int64_t{0}, int64_t{100000}}) {
    D88File reader(budget);
    for (int file = 0; file < 2; ++file) {
      const std::vector<Record>& records = images[file].tracks.at(0);
      ASSERT_TRUE(reader.Open(paths[file].c_str()) && reader.SelectImage(0));
      for (const auto& order : {std::vector<int>{0, 3, 1, 8, 2, 2, 0}, {4, 5, 6, 2, 1, 7, 0}}) {
        for (int track : order) {
          SCOPED_TRACE("budget " + std::to_string(budget) + " file " + std::to_string(file) +
                       " track " + std::to_string(track));
          const std::vector<Record> walk = WalkFrom(records, starts[track]);
          std::string expected;
          for (const Record& s : walk) expected += {char(s.c), char(s.h), char(s.r), char(s.n)};
          Bytes actual(4 * 66000, kUntouched);
          EXPECT_EQ(reader.ReadSectorIds(track, actual.data(), 4 * 66000), 4 * walk.size());
          expected.resize(actual.size(), char(kUntouched));
          ASSERT_EQ(AsString(actual), expected);
          const int t = track % 2;  // as the 2HD layout reads them, then not
          for (const auto& [h, r] : {std::pair{t, 1}, {t, 3}, {t, 8}, {t, 9}, {1 - t, 1}}) {
            auto found = std::find_if(walk.begin(), walk.end(), [&, h = h, r = r](const Record& s) {
              return s.sectorCount == 0 || (s.c == track / 2 && s.h == h && s.r == r);
            });
            expected = found == walk.end() || found->sectorCount == 0 ? "" : AsString(found->data);
            expected.resize(std::min<size_t>(expected.size(), 4));
            Bytes sector(4, kUntouched);
            EXPECT_EQ(reader.ReadSector(track, track / 2, h, r, 3, sector.data(), 4),
                      int(expected.size()));
            expected.resize(4, char(kUntouched));
            EXPECT_EQ(AsString(sector), expected) << r;
          }
        }
      }
    }
  }
}

}  // namespace
