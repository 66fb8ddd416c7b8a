// Writes a sample D88 file of two 2HD disks with a few files each, for
// trying the tool: make_sample OUTPUT
#include <cstdio>
#include <string>

#include "tools/d88_builder.h"

namespace {

using d88build::Bytes;

const char kReadme[] =
    "This disk was made by make_sample for d88extract.\r\n"
    "Each file on it is a run of 1 KiB units; the directory on track 1 names\r\n"
    "the first and the last unit of every file.\r\n";

// A text whose lines say where they are, long enough to cross track
// boundaries (8 KiB per track).
Bytes LongText(int lines) {
  std::string text;
  char line[80];
  for (int i = 1; i <= lines; ++i) {
    std::snprintf(line, sizeof line, "Line %04d of a file that spans several tracks.\r\n", i);
    text += line;
  }
  return d88build::TextBytes(text);
}

d88build::Disk FirstDisk() {
  d88build::Disk disk;
  disk.name = "SAMPLE DISK 1";
  int unit = d88build::kFirstFileUnit;
  unit = d88build::AddFile(&disk, 0, "README", unit, d88build::TextBytes(kReadme), 0x1A);
  unit = d88build::AddFile(&disk, 1, "BYTES", unit, d88build::PatternBytes(1024, 0));
  unit = d88build::AddFile(&disk, 2, "LONG", unit, LongText(400), 0x1A);
  d88build::EndDirectory(&disk, 3);
  return disk;
}

d88build::Disk SecondDisk() {
  d88build::Disk disk;
  disk.name = "SAMPLE DISK 2";
  int unit = d88build::kFirstFileUnit;
  unit = d88build::AddFile(&disk, 0, "HELLO", unit,
                           d88build::TextBytes("Hello from the second disk.\r\n"), 0x1A);
  unit = d88build::AddFile(&disk, 1, "TABLE", unit, d88build::PatternBytes(3 * 1024, 0x80));
  d88build::EndDirectory(&disk, 2);
  return disk;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_sample OUTPUT\n");
    return 1;
  }
  const Bytes file = d88build::BuildD88(
      {d88build::ImageFromDisk(FirstDisk()), d88build::ImageFromDisk(SecondDisk())});
  if (!d88build::WriteFileBytes(argv[1], file)) {
    std::fprintf(stderr, "make_sample: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
