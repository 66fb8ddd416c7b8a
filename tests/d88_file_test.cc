#include "image/d88_file.h"

#include <gtest/gtest.h>

#include <memory>

#include "tests/test_support.h"

namespace {

using d88build::Bytes;
using d88build::Image;

class D88FileTest : public ::testing::Test {
 protected:
  // Writes `bytes` as the D88 file and opens it.
  void OpenBytes(const Bytes& bytes) {
    WriteFileOrDie(path(), bytes);
    ASSERT_TRUE(d88->Open(path().c_str()));
  }
  fs::path path() const { return dir.path() / "disk.d88"; }

  TempDir dir;
  std::unique_ptr<D88File> d88 = std::make_unique<D88File>();
};

Image NamedImage(const std::string& name, uint8_t mediaType = 0x20) {
  Image image;
  image.name = name;
  image.mediaType = mediaType;
  return image;
}

// A header spelled out byte by byte, so that the builder and the reader
// cannot share a mistake.
TEST_F(D88FileTest, ReadsLiteralHeader) {
  Bytes bytes(688 + 12, 0);
  const char name[] = "LITERAL";
  for (int i = 0; i < 7; ++i) bytes[i] = static_cast<uint8_t>(name[i]);
  bytes[0x1B] = 0x20;
  bytes[0x1C] = 0xBC;  // disk size 700 = 0x2BC
  bytes[0x1D] = 0x02;
  OpenBytes(bytes);
  EXPECT_EQ(d88->GetImageCount(), 1);
  ASSERT_TRUE(d88->SelectImage(0));
  EXPECT_STREQ(d88->GetDiskName(), "LITERAL");
  EXPECT_EQ(d88->GetMediaType(), 0x20);
}

TEST_F(D88FileTest, StateBeforeOpenAndAfterClosing) {
  EXPECT_EQ(d88->GetImageCount(), 0);
  EXPECT_EQ(d88->GetMediaType(), -1);
  EXPECT_STREQ(d88->GetDiskName(), "");
  EXPECT_FALSE(d88->SelectImage(0));

  OpenBytes(d88build::BuildD88({NamedImage("A", 0x10)}));
  ASSERT_TRUE(d88->SelectImage(0));
  EXPECT_EQ(d88->GetMediaType(), 0x10);
  EXPECT_TRUE(d88->Open(nullptr));
  EXPECT_EQ(d88->GetImageCount(), 0);
  EXPECT_EQ(d88->GetMediaType(), -1);
  EXPECT_FALSE(d88->SelectImage(0));
}

TEST_F(D88FileTest, OpenFailsOnMissingFileAndDirectory) {
  OpenBytes(d88build::BuildD88({NamedImage("A"), NamedImage("B")}));
  EXPECT_FALSE(d88->Open((dir.path() / "missing.d88").c_str()));
  EXPECT_EQ(d88->GetImageCount(), 2);  // kept, but no file is open any more
  EXPECT_FALSE(d88->SelectImage(0));
  EXPECT_FALSE(d88->Open(dir.path().c_str()));
  EXPECT_FALSE(d88->SelectImage(0));
}

TEST_F(D88FileTest, SecondOpenForgetsCurrentImage) {
  OpenBytes(d88build::BuildD88({NamedImage("FIRST")}));
  ASSERT_TRUE(d88->SelectImage(0));
  const fs::path other = dir.path() / "other.d88";
  WriteFileOrDie(other, d88build::BuildD88({NamedImage("X"), NamedImage("Y"), NamedImage("Z")}));
  ASSERT_TRUE(d88->Open(other.c_str()));
  EXPECT_EQ(d88->GetImageCount(), 3);
  EXPECT_EQ(d88->GetMediaType(), -1);
  EXPECT_STREQ(d88->GetDiskName(), "");
  ASSERT_TRUE(d88->SelectImage(2));
  EXPECT_STREQ(d88->GetDiskName(), "Z");
}

// Image 0 of 700 bytes, image 1 of 688: every cut of the file finds the
// images whose headers it holds whole, and the 12 bytes of image 0 past its
// header never count.
TEST_F(D88FileTest, CountsImagesWithWholeHeadersAtEveryLength) {
  Image first = NamedImage("FIRST");
  first.diskSizeOverride = 700;
  Bytes file = d88build::BuildImage(first);
  file.resize(700, 0xEE);
  const Bytes second = d88build::BuildImage(NamedImage("SECOND", 0x10));
  file.insert(file.end(), second.begin(), second.end());
  for (size_t length = 0; length <= file.size() + 100; ++length) {
    Bytes cut(file.begin(), file.begin() + std::min(length, file.size()));
    cut.resize(length, 0);  // beyond the two images: a trailing fragment
    OpenBytes(cut);
    const int expected = length < 688 ? 0 : length < 700 + 688 ? 1 : 2;
    ASSERT_EQ(d88->GetImageCount(), expected) << "length " << length;
  }
  ASSERT_TRUE(d88->SelectImage(1));
  EXPECT_STREQ(d88->GetDiskName(), "SECOND");
  EXPECT_EQ(d88->GetMediaType(), 0x10);
}

TEST_F(D88FileTest, ScanStopsAtSixtyFourImages) {
  std::vector<Image> images;
  for (int i = 0; i < 65; ++i) images.push_back(NamedImage("IMG" + std::to_string(i)));
  OpenBytes(d88build::BuildD88(images));
  EXPECT_EQ(d88->GetImageCount(), 64);
  ASSERT_TRUE(d88->SelectImage(63));
  EXPECT_STREQ(d88->GetDiskName(), "IMG63");
  EXPECT_FALSE(d88->SelectImage(64));

  // Disk size 0: the same header again and again.
  Image loop = NamedImage("LOOP");
  loop.diskSizeOverride = 0;
  OpenBytes(d88build::BuildD88({loop}));
  EXPECT_EQ(d88->GetImageCount(), 64);
  ASSERT_TRUE(d88->SelectImage(40));
  EXPECT_STREQ(d88->GetDiskName(), "LOOP");
}

TEST_F(D88FileTest, ScanStopsWhereOffsetsLeaveSigned32BitRange) {
  Image negative = NamedImage("NEG");
  negative.diskSizeOverride = 0xFFFFFFFF;  // -1: the next image would start before the file
  OpenBytes(d88build::BuildD88({negative}));
  EXPECT_EQ(d88->GetImageCount(), 1);

  Image huge = NamedImage("HUGE");
  huge.diskSizeOverride = 0x7FFFFFFF;  // 688 + 0x7FFFFFFF lies past 0x7FFFFFFF
  OpenBytes(d88build::BuildD88({NamedImage("A"), huge}));
  EXPECT_EQ(d88->GetImageCount(), 2);
  ASSERT_TRUE(d88->SelectImage(1));
  EXPECT_STREQ(d88->GetDiskName(), "HUGE");
}

TEST_F(D88FileTest, BadIndexForgetsCurrentImage) {
  OpenBytes(d88build::BuildD88({NamedImage("A", 0x20), NamedImage("B", 0x30)}));
  for (int32_t index : {2, -1, INT32_MAX, INT32_MIN}) {
    ASSERT_TRUE(d88->SelectImage(1));
    EXPECT_EQ(d88->GetMediaType(), 0x30);
    EXPECT_FALSE(d88->SelectImage(index)) << index;
    EXPECT_EQ(d88->GetMediaType(), -1);
    EXPECT_STREQ(d88->GetDiskName(), "");
  }
}

TEST_F(D88FileTest, DiskNameEndsAtFirstZeroOrAfterSixteenBytes) {
  const struct {
    std::string field;
    std::string expected;
  } cases[] = {
      {std::string("DISK") + std::string(12, '\0'), "DISK"},
      {"ABCDEFGHIJKLMNOP", "ABCDEFGHIJKLMNOP"},
      {std::string("AB\0CD", 5), "AB"},
      {"\x83\x51\x81\x5B\x83\x80", "\x83\x51\x81\x5B\x83\x80"},  // raw Shift_JIS bytes
      {"", ""},
  };
  for (const auto& c : cases) {
    OpenBytes(d88build::BuildD88({NamedImage(c.field)}));
    ASSERT_TRUE(d88->SelectImage(0));
    EXPECT_EQ(std::string(d88->GetDiskName()), c.expected);
  }
}

}  // namespace
