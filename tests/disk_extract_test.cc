#include "extract/disk_extract.h"

#include <gtest/gtest.h>

#include <memory>

#include "image/d88_file.h"
#include "tests/test_support.h"

namespace {

using d88build::Bytes;

class SaveSectorsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    d88build::Disk disk;
    for (int unit = 0; unit < 1232; ++unit) {
      d88build::PutUnits(&disk, unit, d88build::PatternBytes(1024, static_cast<uint8_t>(unit)));
    }
    d88build::Image image = d88build::ImageFromDisk(disk);
    image.tracks.erase(7);
    const fs::path path = dir.path() / "disk.d88";
    WriteFileOrDie(path, d88build::BuildD88({image}));
    ASSERT_TRUE(d88->Open(path.c_str()));
    ASSERT_TRUE(d88->SelectImage(0));
    d88->SetSectorRange(1, 8);
  }
  std::string Out(const char* name) const { return (dir.path() / name).string(); }

  TempDir dir;
  std::unique_ptr<D88File> d88 = std::make_unique<D88File>();
};

TEST_F(SaveSectorsTest, SavesTheRequestedSliceOfARun) {
  // Track 2 (cylinder 1, head 0) holds units 16 to 23; bytes 1024 to 2523
  // of the run are unit 17 and the first 476 bytes of unit 18.
  ASSERT_TRUE(SaveSectors(*d88, Out("SLICE").c_str(), 2, 1, 0, 1, 3, 1024, 1500));
  const Bytes expected17 = d88build::PatternBytes(1024, 17);
  const Bytes expected18 = d88build::PatternBytes(476, 18);
  EXPECT_EQ(ReadFileText(Out("SLICE")), AsString(expected17) + AsString(expected18));
}

// Track 7 is absent: a run from track 6 stops after 8 KiB, and the rest of
// the file is zeros, not what an earlier read left in the buffer.
TEST_F(SaveSectorsTest, WritesZerosWhereTheRunStopped) {
  ASSERT_TRUE(SaveSectors(*d88, Out("FULL").c_str(), 2, 1, 0, 1, 3, 0, 16384));
  ASSERT_TRUE(SaveSectors(*d88, Out("SHORT").c_str(), 6, 3, 0, 1, 3, 0, 16384));
  std::string expected;
  for (int unit = 48; unit < 56; ++unit) {
    expected += AsString(d88build::PatternBytes(1024, static_cast<uint8_t>(unit)));
  }
  EXPECT_EQ(ReadFileText(Out("SHORT")), expected + std::string(8192, '\0'));
}

TEST_F(SaveSectorsTest, RefusesWhatDoesNotFitOrReadsNothing) {
  EXPECT_FALSE(SaveSectors(*d88, Out("BIG").c_str(), 2, 1, 0, 1, 3, 1, kDiskBytes));
  EXPECT_FALSE(SaveSectors(*d88, Out("NEG").c_str(), 2, 1, 0, 1, 3, -1, 10));
  EXPECT_FALSE(SaveSectors(*d88, Out("NEGLEN").c_str(), 2, 1, 0, 1, 3, 0, -10));
  EXPECT_FALSE(SaveSectors(*d88, Out("ABSENT").c_str(), 7, 3, 1, 1, 3, 0, 1024));
  EXPECT_FALSE(SaveSectors(*d88, Out("NONE").c_str(), 2, 1, 0, 1, 3, 0, 0));
  EXPECT_FALSE(
      SaveSectors(*d88, (dir.path() / "no-dir" / "X").string().c_str(), 2, 1, 0, 1, 3, 0, 1024));
  EXPECT_EQ(DiffTrees({{"disk.d88", ReadFileText(dir.path() / "disk.d88")}}, ReadTree(dir.path())),
            "");
}

}  // namespace
