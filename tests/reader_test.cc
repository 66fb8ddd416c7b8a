// The reader on its own, with literal expectations, and chains too long for
// fuzzing.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <map>
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

// The records a track's walk visits, told from the records the file was
// built from: each in turn up to the one whose sector count says it is the
// last, 65,535 at most, none past the file's end.
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

// A header spelled out byte by byte, so that the builder and the reader
// cannot share a mistake.
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
      // clang-format off
      {.what = "shorter than a header", .file = Bytes(687, 0x20), .count = 0, .name = ""},
      {.what = "disk size 0", .file = BuildD88({Named("LOOP", 0)}), .count = 64, .select = 40,
       .name = "LOOP"},
      {.what = "disk size -1 leaves the file", .file = BuildD88({Named("NEG", 0xFFFFFFFF)}),
       .name = "NEG"},
      {.what = "disk size 0x80000000", .file = BuildD88({high}), .name = "HIGH"},
      {.what = "track 1 at the image's end", .file = BuildD88({track1}), .name = "TRACK1"},
      {.what = "a negative size steps back", .file = stepBack, .count = 64, .select = 63, .name = "B"},
      {.what = "past 0x7FFFFFFF", .file = BuildD88({Named("A"), Named("HUGE", 0x7FFFFFFF)}),
       .count = 2, .select = 1, .name = "HUGE"},
      // clang-format on
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
  // The last file made sparse past 2 GiB: a header could be read at
  // 0x800002AF, but an image starts at 0x7FFFFFFF at the latest.
  fs::resize_file(path, 0x80001000);
  ASSERT_TRUE(d88.Open(path.c_str()));
  EXPECT_EQ(d88.GetImageCount(), 2);
}

// The reader's states; the fuzz target checks after every input that a
// failed SelectImage leaves no track readable.
TEST_F(ReaderTest, OpenAndClose) {
  EXPECT_EQ(d88.GetMediaType(), -1);
  EXPECT_FALSE(d88.SelectImage(0));
  OpenBytes(BuildD88({Named("X"), Named("Y")}));
  EXPECT_FALSE(d88.Open((dir.path / "missing").c_str()));
  EXPECT_EQ(d88.GetImageCount(), 2);  // kept, but no file is open any more
  EXPECT_FALSE(d88.SelectImage(0));
  // A file that is there but may not be read is no file: the count stays.
  // Root reads it all the same; a child that gave root up shows it.
  ASSERT_EQ(chmod(path.c_str(), 0), 0);
  const pid_t child = fork();
  if (child == 0) {
    if (getuid() == 0 && setuid(65534) != 0) _exit(2);
    _exit(!d88.Open(path.c_str()) && d88.GetImageCount() == 2 ? 0 : 1);
  }
  int status = -1;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  ASSERT_EQ(chmod(path.c_str(), 0644), 0);
  // A read that fails is no end of the file: ReadFailed says so, and no image
  // can be made current until the file is opened again.
  OpenBytes(BuildD88({Named("X"), PatternImage("Y")}));
  ASSERT_TRUE(d88.SelectImage(1));
  setenv("D88_FAIL_FILE", path.c_str(), 1);
  setenv("D88_FAIL_AT", std::to_string(2 * 688 + 100 * 8 * 1040 + 20).c_str(), 1);
  uint8_t sector[1024];
  EXPECT_EQ(d88.ReadSectors(100, 50, 0, 1, 3, sector, 1024), 0);
  unsetenv("D88_FAIL_FILE");
  EXPECT_TRUE(d88.ReadFailed());
  EXPECT_FALSE(d88.SelectImage(1));
  ASSERT_TRUE(d88.Open(path.c_str()));
  EXPECT_TRUE(!d88.ReadFailed() && d88.SelectImage(1));
  EXPECT_EQ(d88.ReadSectors(100, 50, 0, 1, 3, sector, 1024), 1024);
  // Close, and Open with no path, leave no file and no images, and keep the
  // image's name.
  for (const bool byOpen : {false, true}) {
    OpenBytes(BuildD88({Named("X"), Named("Y")}));
    ASSERT_TRUE(d88.SelectImage(1));
    if (byOpen) {
      EXPECT_TRUE(d88.Open(nullptr));
    } else {
      d88.Close();
    }
    EXPECT_EQ(d88.GetImageCount(), 0);
    EXPECT_EQ(d88.GetMediaType(), -1);
    EXPECT_STREQ(d88.GetDiskName(), "Y");
    EXPECT_FALSE(d88.SelectImage(0));
  }
}

// Reads with literal expectations: the buffer holds `bytes` from its start
// and is untouched after them. Sector r of track t holds Units(8 t + r - 1).
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
  // Track 8 of another file lies at the same offset: the first rows show it forgotten.
  OpenBytes(BuildD88({PatternImage("OTHER")}));
  uint8_t byte = 0;
  ASSERT_TRUE(d88.SelectImage(0) && d88.ReadSector(8, 4, 0, 1, 3, &byte, 1) == 1);
  OpenBytes(BuildD88({image}));
  ASSERT_TRUE(d88.SelectImage(0));
  // first 0: the range as it stands (1 to 16 in a fresh reader).
  const struct {
    const char* what;
    bool run = false;
    int32_t track = 8, c = 4, h = 0, r = 1, n = 3, length = 1024, first = 1, last = 8, count = 0;
    std::string bytes;
  } rows[] = {
      // clang-format off
      {.what = "a fresh reader's range is 1 to 16: no sector 9", .run = true, .track = 2, .c = 1,
       .length = 16384, .first = 0, .count = 8192, .bytes = Units(16, 23)},
      {.what = "the first match, by its data size", .count = 700, .bytes = std::string(700, 4)},
      {.what = "N decides too", .n = 2, .count = 512, .bytes = std::string(512, 3)},
      {.what = "255 matches", .c = 255, .h = 255, .r = 255, .n = 255, .length = 16, .count = 1,
       .bytes = "\x06"},
      {.what = "sector count 0 ends the walk", .r = 2},
      {.what = "values past 255 match nothing", .c = 260},
      {.what = "size code 24 reads nothing", .run = true, .n = 24},
      {.what = "head 0 to head 1", .run = true, .track = 2, .c = 1, .length = 10240, .count = 10240,
       .bytes = Units(16, 25)},
      {.what = "head 1 to the next cylinder", .run = true, .track = 3, .c = 1, .h = 1, .length = 4096,
       .last = 2, .count = 4096, .bytes = Units(24, 25) + Units(32, 33)},
      {.what = "a partial last chunk", .run = true, .track = 2, .c = 1, .length = 1500, .count = 1500,
       .bytes = Units(16, 17).substr(0, 1500)},
      {.what = "a wrap restarts at the range's first", .run = true, .track = 6, .c = 3, .r = 5,
       .length = 4096, .first = 3, .last = 6, .count = 4096, .bytes = Units(52, 53) + Units(58, 59)},
      {.what = "a run above the range never wraps", .run = true, .track = 2, .c = 1, .r = 5,
       .length = 8192, .last = 4, .count = 4096, .bytes = Units(20, 23)},
      // clang-format on
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    Bytes buffer(20000, kUntouched);
    if (row.first > 0) d88.SetSectorRange(row.first, row.last);
    const int32_t count =
        row.run ? d88.ReadSectors(row.track, row.c, row.h, row.r, row.n, buffer.data(), row.length)
                : d88.ReadSector(row.track, row.c, row.h, row.r, row.n, buffer.data(), row.length);
    EXPECT_EQ(count, row.count);
    EXPECT_EQ(AsString(buffer).substr(0, row.bytes.size()), row.bytes);
    EXPECT_EQ(Bytes(buffer.begin() + row.bytes.size(), buffer.end()),
              Bytes(buffer.size() - row.bytes.size(), kUntouched));
  }
}

// Walks end where their records say, whatever walks came before over the
// same records: from record 0 at record 127 (sector count 128), walked
// twice; from record 4 at record 20 (sector count 17); from 128 before
// record 150 (sector count 0); from 300 at 400 and from 500 at 510; from
// 365, inside both of the last two, at record 430 (sector count 66). The
// sector a walk looks for lies just past its end, or is its 64th record.
TEST_F(ReaderTest, WalksEndWhereTheirRecordsSay) {
  Image image = Named("MEMO");
  std::map<int, uint8_t> sectors = {{63, 9}, {70, 5}, {130, 6}, {220, 8}, {431, 7}};
  std::map<int, uint16_t> ends = {{127, 128}, {20, 17}, {150, 0}, {400, 101}, {510, 11}, {430, 66}};
  const int starts[] = {0, 0, 4, 128, 300, 500, 365};  // each track's first record
  uint32_t offset = 688;
  for (int i = 0; i < 520; ++i) {
    for (int track = 2; track < 7; ++track) {
      if (starts[track] == i) image.trackOffsetOverrides[track] = offset;
    }
    const uint8_t c = sectors.count(i) ? sectors[i] : 0xFE;
    const uint16_t sectorCount = ends.count(i) ? ends[i] : 65535;
    image.tracks[1].push_back(Sector(c, 0, 1, 3, sectorCount, Bytes(sectors.count(i), i)));
    offset += 16 + static_cast<uint32_t>(sectors.count(i));
  }
  OpenBytes(BuildD88({image}));
  ASSERT_TRUE(d88.SelectImage(0));
  uint8_t byte = 0;
  EXPECT_EQ(d88.ReadSector(1, 5, 0, 1, 3, &byte, 1), 1);
  EXPECT_EQ(byte, 70);
  EXPECT_EQ(d88.ReadSector(1, 9, 0, 1, 3, &byte, 1), 1);  // the last record of a block
  EXPECT_EQ(byte, 63);
  // Each walk ends before the sector it looks for, if there is one.
  for (const auto& [track, c] : {std::pair{1, 7}, {1, 6}, {2, 5}, {3, 8}, {4, 9}, {5, 9}, {6, 7}}) {
    EXPECT_EQ(d88.ReadSector(track, c, 0, 1, 3, &byte, 1), 0) << track << " " << c;
  }
  EXPECT_EQ(byte, 63);
}

// One chain of 140,000 records, a few of them 20,000 bytes long, with
// tracks starting deep inside it, read in orders that make later walks start
// inside, at the end of and past what earlier ones kept (from 100,000 after
// a walk from 0: inside the same stretch, but more than a walk past its
// start), by readers that keep every record, the first 140,000 they read,
// and as few as they can. Then a file whose records lie at the same places
// but differ in every C and in where walks end is opened in its place. Every
// read finds what the walk over the records themselves finds.
TEST_F(ReaderTest, LongChainsFollowTheirRecords) {
  std::mt19937 random(1232);
  const int starts[] = {0, 60000, 100000, 65535, 130000, 5, 139000, 99999, 65538};
  Image images[2];
  for (Image& image : images) {
    uint32_t offset = 688;
    for (int i = 0; i < 140000; ++i) {
      // Mostly counts that end no walk; now and then one that ends the walk
      // from one of the starts, or a count of 0.
      int sectorCount = 65535;
      const int start = starts[2 + 2 * (random() % 3)];
      if (random() % 400 == 0 && start <= i && i - start < 65535) sectorCount = i - start + 1;
      if (i > 126000 && random() % 4000 == 0) sectorCount = 0;
      const size_t size = i % 7000 == 6999 ? 20000 : i % 2;
      image.tracks[0].push_back(Sector(random() % 2, random() % 2, random() % 200, 3, sectorCount,
                                       Bytes(size, static_cast<uint8_t>(i + &image - images))));
      for (int t = 0; t < 9; ++t) {
        if (starts[t] == i) image.trackOffsetOverrides[t] = offset;
      }
      offset += 16 + static_cast<uint32_t>(size);
    }
  }
  // Records with sector count 0 never end an ID list: only the cap does.
  Image capped = Named("CAP");
  capped.tracks[1].assign(66000, Sector(0, 0, 1, 3, 0, {}));
  OpenBytes(BuildD88({capped}));
  Bytes ids(4 * 66000);
  ASSERT_TRUE(d88.SelectImage(0));
  EXPECT_EQ(d88.ReadSectorIds(1, ids.data(), 4 * 66000), 4 * 65535);
  const fs::path paths[] = {dir.path / "a.d88", dir.path / "b.d88"};
  WriteFileOrDie(paths[0], BuildD88({images[0]}));
  WriteFileOrDie(paths[1], BuildD88({images[1]}));
  for (const int32_t room : {D88File::kDefaultStoredRecords, 140000, 0}) {
    D88File reader(room);
    for (int file = 0; file < 2; ++file) {
      const std::vector<Record>& records = images[file].tracks.at(0);
      ASSERT_TRUE(reader.Open(paths[file].c_str()) && reader.SelectImage(0));
      for (const auto& order : {std::vector<int>{0, 3, 1, 8, 2, 2, 0}, {4, 5, 6, 2, 1, 7, 0}}) {
        for (int track : order) {
          SCOPED_TRACE("room " + std::to_string(room) + " file " + std::to_string(file) +
                       " track " + std::to_string(track));
          const std::vector<Record> walk = WalkFrom(records, starts[track]);
          std::string expected;
          for (const Record& id : walk) expected += {char(id.c), char(id.h), char(id.r), char(id.n)};
          Bytes actual(4 * 66000, kUntouched);
          EXPECT_EQ(reader.ReadSectorIds(track, actual.data(), 4 * 66000), 4 * walk.size());
          expected.resize(actual.size(), char(kUntouched));
          ASSERT_EQ(AsString(actual), expected);
          for (int r : {0, 1, 50, 199}) {
            // The first record that holds the sector, unless a count of 0 comes first.
            auto found = std::find_if(walk.begin(), walk.end(), [r](const Record& record) {
              return record.sectorCount == 0 || (record.c == 1 && record.h == 0 && record.r == r);
            });
            expected = found == walk.end() || found->sectorCount == 0 ? "" : AsString(found->data);
            expected.resize(std::min<size_t>(expected.size(), 4));
            Bytes sector(4, kUntouched);
            EXPECT_EQ(reader.ReadSector(track, 1, 0, r, 3, sector.data(), 4), int(expected.size()));
            expected.resize(4, char(kUntouched));
            EXPECT_EQ(AsString(sector), expected) << r;
          }
        }
      }
    }
  }
}

}  // namespace
