#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "image/byte_order.h"
#include "image/d88_file.h"
#include "tests/test_support.h"

namespace {

using d88build::Bytes;
using d88build::Image;
using d88build::Record;

constexpr uint8_t kUntouched = 0xAA;

Record Sector(int c, int h, int r, int n, uint16_t sectorCount, Bytes data) {
  Record record;
  record.c = static_cast<uint8_t>(c);
  record.h = static_cast<uint8_t>(h);
  record.r = static_cast<uint8_t>(r);
  record.n = static_cast<uint8_t>(n);
  record.sectorCount = sectorCount;
  record.data = std::move(data);
  return record;
}

// Data of sector r of track t: 1024 bytes that say where they came from.
Bytes SectorData(int track, int r, size_t length = 1024) {
  return d88build::PatternBytes(length, static_cast<uint8_t>(track * 16 + r));
}

// The eight 1024-byte sectors of `track`, stored in the order of `order`.
std::vector<Record> Track(int track, std::vector<int> order = {1, 2, 3, 4, 5, 6, 7, 8}) {
  std::vector<Record> records;
  for (int r : order) {
    records.push_back(Sector(track / 2, track % 2, r, 3, static_cast<uint16_t>(order.size()),
                             SectorData(track, r)));
  }
  return records;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

class SectorReadsTest : public ::testing::Test {
 protected:
  void OpenImages(const std::vector<Image>& images, size_t truncateTo = SIZE_MAX) {
    file = d88build::BuildD88(images);
    if (truncateTo < file.size()) file.resize(truncateTo);
    const fs::path path = dir.path() / "disk.d88";
    WriteFileOrDie(path, file);
    ASSERT_TRUE(d88->Open(path.c_str()));
    ASSERT_TRUE(d88->SelectImage(0));
  }
  Bytes Fresh(size_t length) { return Bytes(length, kUntouched); }

  TempDir dir;
  Bytes file;
  std::unique_ptr<D88File> d88 = std::make_unique<D88File>();
};

TEST_F(SectorReadsTest, ReadsTrackInSectorOrderWhateverTheStoredOrder) {
  Image image;
  image.tracks[4] = Track(4, {8, 3, 1, 6, 2, 7, 5, 4});
  OpenImages({image});
  d88->SetSectorRange(1, 8);
  Bytes buffer = Fresh(8192);
  EXPECT_EQ(d88->ReadSectors(4, 2, 0, 1, 3, buffer.data(), 8192), 8192);
  Bytes expected;
  for (int r = 1; r <= 8; ++r) expected = Concat({expected, SectorData(4, r)});
  EXPECT_EQ(buffer, expected);
}

TEST_F(SectorReadsTest, RunStopsAtMissingOrShortSector) {
  Image image;
  image.tracks[2] = Track(2, {1, 2, 3, 4, 6, 7, 8});  // no sector 5
  image.tracks[3] = Track(3);
  image.tracks[3][2].data.resize(512);  // sector 3 holds 512 bytes only
  OpenImages({image});
  d88->SetSectorRange(1, 8);

  Bytes buffer = Fresh(8192);
  EXPECT_EQ(d88->ReadSectors(2, 1, 0, 1, 3, buffer.data(), 8192), 4096);
  EXPECT_EQ(Bytes(buffer.begin() + 3072, buffer.begin() + 4096), SectorData(2, 4));
  EXPECT_EQ(Bytes(buffer.begin() + 4096, buffer.end()), Bytes(4096, kUntouched));

  buffer = Fresh(8192);
  EXPECT_EQ(d88->ReadSector(3, 1, 1, 3, 3, buffer.data(), 1024), 512);
  buffer = Fresh(8192);
  EXPECT_EQ(d88->ReadSectors(3, 1, 1, 1, 3, buffer.data(), 8192), 2048);
  // The short sector's bytes stand in the buffer, though not counted.
  EXPECT_EQ(Bytes(buffer.begin() + 2048, buffer.begin() + 2560), SectorData(3, 3, 512));
  EXPECT_EQ(Bytes(buffer.begin() + 2560, buffer.end()), Bytes(8192 - 2560, kUntouched));
}

TEST_F(SectorReadsTest, RunSteppingFollowsTheSectorRange) {
  Image image;
  for (int track = 2; track <= 5; ++track) image.tracks[track] = Track(track);
  OpenImages({image});

  // The default range 1..16 looks for sector 9 after 8.
  Bytes buffer = Fresh(16384);
  EXPECT_EQ(d88->ReadSectors(2, 1, 0, 1, 3, buffer.data(), 16384), 8192);

  d88->SetSectorRange(1, 8);
  ASSERT_TRUE(d88->SelectImage(0));  // keeps the range
  // Head 0 to head 1 of the same cylinder, then head 0 of the next cylinder.
  for (int start : {2, 3}) {
    buffer = Fresh(16384 + 1024);
    EXPECT_EQ(d88->ReadSectors(start, start / 2, start % 2, 1, 3, buffer.data(), 16384 + 1024),
              16384 + 1024);
    Bytes expected;
    for (int track = start; track <= start + 1; ++track) {
      for (int r = 1; r <= 8; ++r) expected = Concat({expected, SectorData(track, r)});
    }
    expected = Concat({expected, SectorData(start + 2, 1)});
    EXPECT_EQ(buffer, expected) << "from track " << start;
  }

  // A length that is not a multiple of the sector size ends with a partial chunk.
  buffer = Fresh(2048);
  EXPECT_EQ(d88->ReadSectors(2, 1, 0, 1, 3, buffer.data(), 1024 + 476), 1500);
  EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 1024), SectorData(2, 1));
  EXPECT_EQ(Bytes(buffer.begin() + 1024, buffer.begin() + 1500), SectorData(2, 2, 476));
  EXPECT_EQ(Bytes(buffer.begin() + 1500, buffer.end()), Bytes(548, kUntouched));

  // A run that starts above the range's last sector never changes track.
  d88->SetSectorRange(1, 4);
  buffer = Fresh(8192);
  EXPECT_EQ(d88->ReadSectors(2, 1, 0, 5, 3, buffer.data(), 8192), 4096);
  EXPECT_EQ(d88->ReadSectors(2, 1, 0, 1, 3, buffer.data(), 0), 0);
}

TEST_F(SectorReadsTest, MatchNeedsAllOfCHRAndN) {
  Image image;
  image.tracks[1] = {Sector(1, 1, 1, 3, 5, SectorData(1, 9)),        // wrong C
                     Sector(0, 0, 1, 3, 5, SectorData(1, 10)),       // wrong H
                     Sector(0, 1, 1, 2, 5, SectorData(1, 11, 512)),  // wrong N
                     Sector(0, 1, 1, 3, 5, SectorData(1, 1, 700)),   // data size is not 128 << N
                     Sector(0, 1, 1, 3, 5, SectorData(1, 12))};      // a later duplicate loses
  OpenImages({image});
  Bytes buffer = Fresh(1024);
  EXPECT_EQ(d88->ReadSector(1, 0, 1, 1, 3, buffer.data(), 1024), 700);
  EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 700), SectorData(1, 1, 700));
  EXPECT_EQ(Bytes(buffer.begin() + 700, buffer.end()), Bytes(324, kUntouched));
  EXPECT_EQ(d88->ReadSector(1, 0, 1, 1, 3, buffer.data(), 100), 100);
  EXPECT_EQ(d88->ReadSector(1, 0, 1, 1, 3, buffer.data(), 0), 0);
  EXPECT_EQ(d88->ReadSector(1, 0, 1, 1, 2, buffer.data(), 1024), 512);
  // Values outside 0..255 match nothing, even where the low byte would.
  for (const auto& [c, h, r, n] :
       {std::tuple{256, 1, 1, 3}, {0, 257, 1, 3}, {0, 1, -255, 3}, {0, 1, 1, 259}}) {
    buffer = Fresh(1024);
    EXPECT_EQ(d88->ReadSector(1, c, h, r, n, buffer.data(), 1024), 0);
    EXPECT_EQ(buffer, Fresh(1024));
  }
}

// No stored length bounds a track: only the sector count of each record ends
// a walk, which may run on into the next track.
TEST_F(SectorReadsTest, SectorCountsBoundTheWalk) {
  Image image;
  image.tracks[1] = {Sector(9, 9, 9, 3, 3, SectorData(1, 1)),
                     Sector(9, 9, 8, 3, 3, SectorData(1, 2))};
  image.tracks[2] = {Sector(0, 1, 1, 3, 9, SectorData(2, 1)),  // reached only from track 1
                     Sector(0, 1, 2, 3, 0, SectorData(2, 2)),  // sector count 0
                     Sector(0, 1, 3, 3, 9, SectorData(2, 3))};
  OpenImages({image});
  Bytes buffer = Fresh(1024);
  EXPECT_EQ(d88->ReadSector(1, 0, 1, 1, 3, buffer.data(), 1024), 1024);
  EXPECT_EQ(buffer, SectorData(2, 1));
  buffer = Fresh(1024);
  EXPECT_EQ(d88->ReadSector(1, 0, 1, 2, 3, buffer.data(), 1024),
            0);  // position 1 of track 2 has count 0
  EXPECT_EQ(d88->ReadSector(1, 0, 1, 3, 3, buffer.data(), 1024), 0);  // hidden behind it
  EXPECT_EQ(buffer, Fresh(1024));
  // The walk from track 2 starts at position 0 there: the count-0 record
  // ends it before sector 3 too.
  EXPECT_EQ(d88->ReadSector(2, 0, 1, 3, 3, buffer.data(), 1024), 0);

  // Sector IDs do not stop at a count of 0; position 4 (record 3 of track 2)
  // ends the walk from track 1, whose count there is 9... so the walk goes to
  // the end of the image and the file.
  Bytes ids = Fresh(64);
  EXPECT_EQ(d88->ReadSectorIds(1, ids.data(), 64), 20);
  EXPECT_EQ(Bytes(ids.begin(), ids.begin() + 20),
            (Bytes{9, 9, 9, 3, 9, 9, 8, 3, 0, 1, 1, 3, 0, 1, 2, 3, 0, 1, 3, 3}));
  EXPECT_EQ(Bytes(ids.begin() + 20, ids.end()), Bytes(44, kUntouched));
  ids = Fresh(8);
  EXPECT_EQ(d88->ReadSectorIds(1, ids.data(), 5), 4);
  EXPECT_EQ(ids, (Bytes{9, 9, 9, 3, kUntouched, kUntouched, kUntouched, kUntouched}));
  EXPECT_EQ(d88->ReadSectorIds(2, ids.data(), 0), 0);
}

TEST_F(SectorReadsTest, UnusableTracksReadNothing) {
  Image image;
  image.tracks[1] = Track(1);
  image.tracks[2] = Track(2);
  image.trackOffsetOverrides[5] = 0x80000000;  // negative as a signed offset
  image.trackOffsetOverrides[6] = 0xFFFFFFF0;
  OpenImages({image});
  const uint32_t diskSize = ReadLE32(file.data() + 0x1C);
  Image past = image;
  past.trackOffsetOverrides[7] = diskSize + 1;  // past the image, though the bytes exist
  past.trackOffsetOverrides[8] = diskSize;      // the first byte after the image: usable
  // The next image's header, read as a record: C 4, H 0, R 1, N 3, count 1,
  // data size 4 (bytes 16 to 19 of the header, all zero).
  Image second;
  second.name = std::string("\x04\x00\x01\x03\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x04\x00", 16);
  OpenImages({past, second});

  Bytes buffer = Fresh(1024);
  for (int track : {-1, 0, 164, 5, 6, 7, INT32_MIN, INT32_MAX}) {
    EXPECT_EQ(d88->ReadSector(track, 0, 1, 1, 3, buffer.data(), 1024), 0) << track;
    EXPECT_EQ(d88->ReadSectors(track, 0, 1, 1, 3, buffer.data(), 1024), 0) << track;
    EXPECT_EQ(d88->ReadSectorIds(track, buffer.data(), 1024), 0) << track;
    EXPECT_EQ(buffer, Fresh(1024));
  }
  // Track 8 starts at the first byte after the image.
  EXPECT_EQ(d88->ReadSector(8, 4, 0, 1, 3, buffer.data(), 1024), 4);
  EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 5), (Bytes{0, 0, 0, 0, kUntouched}));

  // No current image: a failed SelectImage leaves every track unusable.
  EXPECT_FALSE(d88->SelectImage(5));
  EXPECT_EQ(d88->ReadSector(1, 0, 1, 1, 3, buffer.data(), 1024), 0);
  EXPECT_TRUE(d88->Open(nullptr));
  EXPECT_EQ(d88->ReadSectorIds(1, buffer.data(), 1024), 0);
}

TEST_F(SectorReadsTest, TruncatedFileEndsWalksAndData) {
  Image image;
  image.tracks[1] = Track(1);
  const Bytes whole = d88build::BuildImage(image);
  // Cut inside sector 3's data: the count is what was asked, the bytes that
  // arrived stand, and the rest of the buffer keeps what it held.
  const size_t sector3Data = 688 + 2 * (16 + 1024) + 16;
  OpenImages({image}, sector3Data + 100);
  Bytes buffer = Fresh(1024);
  EXPECT_EQ(d88->ReadSector(1, 0, 1, 3, 3, buffer.data(), 1024), 1024);
  EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 100), SectorData(1, 3, 100));
  EXPECT_EQ(Bytes(buffer.begin() + 100, buffer.end()), Bytes(924, kUntouched));
  // A header that does not fit is no record.
  EXPECT_EQ(d88->ReadSector(1, 0, 1, 4, 3, buffer.data(), 1024), 0);
  Bytes ids = Fresh(64);
  EXPECT_EQ(d88->ReadSectorIds(1, ids.data(), 64), 12);
  OpenImages({image}, sector3Data - 1);  // one byte short of sector 3's header
  EXPECT_EQ(d88->ReadSector(1, 0, 1, 3, 3, buffer.data(), 1024), 0);
  EXPECT_EQ(d88->ReadSectorIds(1, ids.data(), 64), 8);
  EXPECT_EQ(whole.size(), 688 + 8 * (16 + 1024u));
}

// A record's position can be no larger than 65534 where a stop rule fires;
// a walk that gets past it has no end but the file's, and ends there.
TEST_F(SectorReadsTest, WalkEndsAfterLargestSectorCount) {
  Image image;
  std::vector<Record> records;
  for (int position = 0; position < 65537; ++position) {
    // Counts that never equal position + 1.
    records.push_back(Sector(1, 0, 1, 3, static_cast<uint16_t>(position == 0 ? 5 : 1), {}));
  }
  records[65534] = Sector(0, 1, 2, 3, 1, {0x42});
  records[65535] = Sector(0, 1, 1, 3, 1, {0x43});
  image.tracks[1] = records;
  OpenImages({image});
  uint8_t byte = 0;
  EXPECT_EQ(d88->ReadSector(1, 0, 1, 2, 3, &byte, 1), 1);
  EXPECT_EQ(byte, 0x42);
  EXPECT_EQ(d88->ReadSector(1, 0, 1, 1, 3, &byte, 1), 0);
  Bytes ids(4 * 70000);
  EXPECT_EQ(d88->ReadSectorIds(1, ids.data(), 4 * 70000), 4 * 65535);
}

// A plain walk over the file's bytes, record by record, as the format
// describes it: the reader's caches must give exactly its results.
class ReferenceReader {
 public:
  explicit ReferenceReader(const Bytes& file) : file_(file) {}
  void Select(int64_t imageOffset) {
    imageOffset_ = imageOffset;
    diskSize_ = static_cast<int32_t>(ReadLE32(&file_[imageOffset + 0x1C]));
    for (int t = 0; t < 164; ++t) {
      offsets_[t] = static_cast<int32_t>(ReadLE32(&file_[imageOffset + 0x20 + 4 * t]));
    }
  }
  int32_t ReadSector(int32_t track, int32_t c, int32_t h, int32_t r, int32_t n, uint8_t* buffer,
                     int32_t maxLength) const {
    int64_t position = 0;
    if (!Locate(track, &position)) return 0;
    for (int i = 0; i < 65535; ++i) {
      if (position + 16 > static_cast<int64_t>(file_.size())) return 0;
      const uint8_t* header = &file_[position];
      const int sectorCount = ReadLE16(header + 4);
      const int dataSize = ReadLE16(header + 14);
      if (sectorCount == 0) return 0;
      if (header[0] == c && header[1] == h && header[2] == r && header[3] == n) {
        const int32_t length = std::min(dataSize, maxLength);
        for (int32_t k = 0; k < length && position + 16 + k < static_cast<int64_t>(file_.size());
             ++k) {
          buffer[k] = file_[position + 16 + k];
        }
        return length;
      }
      position += 16 + dataSize;
      if (i == sectorCount - 1) return 0;
    }
    return 0;
  }
  int32_t ReadSectorIds(int32_t track, uint8_t* buffer, int32_t length) const {
    int64_t position = 0;
    if (!Locate(track, &position)) return 0;
    int32_t written = 0;
    for (int i = 0; i < 65535 && 4 * (i + 1) <= length; ++i) {
      if (position + 16 > static_cast<int64_t>(file_.size())) break;
      const uint8_t* header = &file_[position];
      for (int k = 0; k < 4; ++k) buffer[written++] = header[k];
      position += 16 + ReadLE16(header + 14);
      if (i == ReadLE16(header + 4) - 1) break;
    }
    return written;
  }

 private:
  bool Locate(int32_t track, int64_t* position) const {
    if (track < 0 || track > 163) return false;
    if (offsets_[track] <= 0 || offsets_[track] > diskSize_) return false;
    *position = imageOffset_ + offsets_[track];
    return true;
  }
  const Bytes& file_;
  int64_t imageOffset_ = 0;
  int32_t diskSize_ = 0;
  int32_t offsets_[164] = {};
};

// Random images from a small alphabet of addresses, counts and sizes, with
// tracks that lead into each other, past the image and past the file.
std::vector<Image> RandomImages(std::mt19937& random, int recordsPerTrack) {
  auto pick = [&](std::initializer_list<int> values) {
    return *(values.begin() + random() % values.size());
  };
  std::vector<Image> images(1 + random() % 3);
  for (Image& image : images) {
    for (int track = 0; track < 8; ++track) {
      if (random() % 5 == 0) continue;
      std::vector<Record>& records = image.tracks[track];
      const int count = 1 + static_cast<int>(random() % recordsPerTrack);
      for (int i = 0; i < count; ++i) {
        const int sectorCount =
            pick({count, count, count, 0, 1, 3, 65535, static_cast<int>(random() % 40)});
        const int dataSize = pick({1024, 1024, 512, 0, 1, static_cast<int>(random() % 1100)});
        records.push_back(Sector(pick({0, 1, 2}), pick({0, 1}), 1 + static_cast<int>(random() % 9),
                                 pick({3, 3, 2}), static_cast<uint16_t>(sectorCount),
                                 d88build::PatternBytes(dataSize, static_cast<uint8_t>(random()))));
      }
    }
    if (random() % 3 == 0) image.trackOffsetOverrides[random() % 8] = 688 + 16 * (random() % 40);
    if (random() % 4 == 0) image.trackOffsetOverrides[random() % 8] = 0x7FFFFFF0;
    if (random() % 4 == 0) image.diskSizeOverride = 688 + random() % 30000;
  }
  return images;
}

TEST_F(SectorReadsTest, MatchesPlainWalkOnRandomImages) {
  std::mt19937 random(20261206);
  for (int round = 0; round < 150; ++round) {
    std::vector<Image> images = RandomImages(random, round % 2 == 0 ? 10 : 40);
    Bytes built = d88build::BuildD88(images);
    const size_t cut = random() % 4 == 0 ? 688 + random() % built.size() : SIZE_MAX;
    OpenImages(images, cut);
    ReferenceReader reference(file);
    const int imageCount = d88->GetImageCount();
    for (int call = 0; call < 300; ++call) {
      const int image = static_cast<int>(random() % imageCount);
      if (call % 40 == 0 || image != 0) {
        ASSERT_TRUE(d88->SelectImage(image));
        // The reference needs the image's start, as the reader's scan found it.
        int64_t start = 0;
        for (int i = 0; i < image; ++i)
          start += static_cast<int32_t>(ReadLE32(&file[start + 0x1C]));
        reference.Select(start);
      }
      const int track = static_cast<int>(random() % 9);
      const int c = static_cast<int>(random() % 3), h = static_cast<int>(random() % 2);
      const int r = 1 + static_cast<int>(random() % 9), n = random() % 4 == 0 ? 2 : 3;
      const int length = static_cast<int>(random() % 3000);
      Bytes actual = Fresh(3000), expected = Fresh(3000);
      switch (call % 3) {
        case 0:
          ASSERT_EQ(d88->ReadSector(track, c, h, r, n, actual.data(), length),
                    reference.ReadSector(track, c, h, r, n, expected.data(), length));
          break;
        case 1: {
          const int first = 1 + static_cast<int>(random() % 2),
                    last = 4 + static_cast<int>(random() % 6);
          d88->SetSectorRange(first, last);
          int32_t delivered = 0, chunk = 128 << n;
          int32_t rr = r, cc = c, hh = h, tt = track;
          // The run, stepped by hand over the reference's single reads.
          while (delivered < length) {
            chunk = std::min(chunk, length - delivered);
            if (reference.ReadSector(tt, cc, hh, rr, n, expected.data() + delivered, chunk) < chunk)
              break;
            delivered += chunk;
            if (rr == last) {
              ++tt;
              hh == 0 ? hh = 1 : (hh = 0, ++cc);
              rr = first;
            } else {
              ++rr;
            }
          }
          ASSERT_EQ(d88->ReadSectors(track, c, h, r, n, actual.data(), length), delivered);
          break;
        }
        default:
          ASSERT_EQ(d88->ReadSectorIds(track, actual.data(), length),
                    reference.ReadSectorIds(track, expected.data(), length));
      }
      ASSERT_EQ(actual, expected) << "round " << round << " call " << call;
    }
  }
}

// One chain of 140,000 short records with tracks starting deep inside it, read
// in orders that make the reader's memory of the chain continue, restart and
// drop its front.
TEST_F(SectorReadsTest, MatchesPlainWalkOnLongChain) {
  std::mt19937 random(1232);
  Image image;
  std::vector<Record>& records = image.tracks[0];
  const int starts[] = {0, 60000, 100000, 65535, 130000, 5, 139000, 99999};
  for (int i = 0; i < 140000; ++i) {
    // Mostly counts that end no walk; now and then one that ends the walk
    // from one of the starts right here, or a count of 0.
    // Walks from the first starts run long, to fill the reader's memory.
    int sectorCount = 65535;
    const int start = starts[2 + 2 * (random() % 3)];
    if (random() % 400 == 0 && start <= i && i - start < 65535) sectorCount = i - start + 1;
    if (i > 126000 && random() % 4000 == 0) sectorCount = 0;
    records.push_back(Sector(static_cast<int>(random() % 2), static_cast<int>(random() % 2),
                             static_cast<int>(random() % 200), 3,
                             static_cast<uint16_t>(sectorCount),
                             Bytes(random() % 2, static_cast<uint8_t>(i))));
  }
  // Offsets of records 0, 60000, 100000, ... in the image.
  uint32_t offset = 688;
  for (int i = 0; i < 140000; ++i) {
    for (int t = 0; t < 8; ++t) {
      if (starts[t] == i) image.trackOffsetOverrides[t] = offset;
    }
    offset += 16 + static_cast<uint32_t>(records[i].data.size());
  }
  OpenImages({image});
  ReferenceReader reference(file);
  reference.Select(0);
  const std::vector<std::vector<int>> orders = {{0, 1, 2, 2, 0}, {0, 3, 4, 5}, {6, 2, 1, 7, 0}};
  auto compareSectors = [&](int track) {
    for (int r : {0, 1, 50, 199}) {
      Bytes actual = Fresh(4), expected = Fresh(4);
      ASSERT_EQ(d88->ReadSector(track, 1, 0, r, 3, actual.data(), 4),
                reference.ReadSector(track, 1, 0, r, 3, expected.data(), 4))
          << "track " << track << " r " << r;
      ASSERT_EQ(actual, expected);
    }
  };
  auto compareIds = [&](int track) {
    Bytes actual = Fresh(4 * 66000), expected = Fresh(4 * 66000);
    ASSERT_EQ(d88->ReadSectorIds(track, actual.data(), 4 * 66000),
              reference.ReadSectorIds(track, expected.data(), 4 * 66000));
    ASSERT_EQ(actual, expected) << "track " << track;
  };
  for (int pass = 0; pass < 2; ++pass) {
    for (const auto& order : orders) {
      for (int track : order) {
        if (pass == 0) compareIds(track);
        compareSectors(track);
        if (pass == 1) compareIds(track);
      }
    }
  }
}

}  // namespace
