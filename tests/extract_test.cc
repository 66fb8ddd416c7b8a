// Extraction end to end: listing bytes, the files written, refusals,
// standard error and the exit status.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/test_support.h"

namespace {

using d88build::Bytes;
using d88build::Disk;

const std::string k2HD =
    "2HD\x83\x81\x83\x66\x83\x42\x83\x41\x82\xF0\x94\x46\x8E\xAF\x82\xB5\x82\xDC"
    "\x82\xB5\x82\xBD.\n";

// Unit u of a test disk: 1024 bytes that say which unit they are.
Bytes Unit(int unit) {
  Bytes bytes(1024);
  for (int i = 0; i < 1024; ++i) bytes[i] = static_cast<uint8_t>(unit * 7 + i / 4);
  return bytes;
}

std::string Units(int first, int last) {
  std::string text;
  for (int unit = first; unit <= last; ++unit) text += AsString(Unit(unit));
  return text;
}

// A disk whose every unit from 0 on holds Unit(u), directory aside.
Disk PatternDisk(const std::string& name) {
  Disk disk;
  disk.name = name;
  for (int unit = 0; unit < 1232; ++unit) {
    if (unit < 8 || unit > 15) d88build::PutUnits(&disk, unit, Unit(unit));
  }
  return disk;
}

void SetEntryName(Disk* disk, int entry, const Bytes& nameBytes) {
  for (size_t i = 0; i < 6; ++i) disk->bytes[8 * 1024 + 16 * entry + i] = nameBytes[i];
}

class ExtractTest : public ToolTest {
 protected:
  ToolResult Run(const std::vector<std::string>& extra = {}) {
    std::vector<std::string> args = {d88Path()};
    args.insert(args.end(), extra.begin(), extra.end());
    return RunTool(work(), args);
  }
};

TEST_F(ExtractTest, ListsAndWritesEveryEntryUpToTheEndMark) {
  Disk disk = PatternDisk("NAMES");
  d88build::SetDirectoryEntry(&disk, 0, "MAIN", 0x10, 0x11);    // track 2, sectors 1 and 2
  d88build::SetDirectoryEntry(&disk, 1, "ABCDEF", 0x1E, 0x21);  // across tracks 3 and 4
  d88build::SetDirectoryEntry(&disk, 2, "AB CDE", 0x30, 0x30);  // a space ends the name
  d88build::SetDirectoryEntry(&disk, 3, "", 0x31, 0x31);
  SetEntryName(&disk, 3, {'X', 'Y', 0x00, 'Z', 'W', 'V'});       // so does 0x00
  d88build::SetDirectoryEntry(&disk, 4, "", 0x00, 0x09);         // units 0-7 are never loaded
  SetEntryName(&disk, 4, {0x83, 0x51, 0x81, 0x5B, 0x83, 0x80});  // Shift_JIS stays raw
  d88build::SetDirectoryEntry(&disk, 5, "EMPTY", 0x40, 0x3F);    // end = start - 1
  d88build::SetDirectoryEntry(&disk, 6, "LAST", 0x4C8, 0x4CF);   // the last track
  d88build::EndDirectory(&disk, 7);
  d88build::SetDirectoryEntry(&disk, 8, "AFTER", 0x50, 0x50);
  WriteImages({d88build::ImageFromDisk(disk)});

  const ToolResult result = Run();
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out, "\n[NAMES] -> 000\n" + k2HD +
                            "MAIN    START:0010  END:0011  SIZE:0800\n"
                            "ABCDEF  START:001e  END:0021  SIZE:1000\n"
                            "AB      START:0030  END:0030  SIZE:0400\n"
                            "XY      START:0031  END:0031  SIZE:0400\n"
                            "\x83\x51\x81\x5B\x83\x80  START:0000  END:0009  SIZE:2800\n"
                            "EMPTY   START:0040  END:003f  SIZE:0000\n"
                            "LAST    START:04c8  END:04cf  SIZE:2000\n");
  // Raw bytes, or on Windows the decoded name (which the host sees in UTF-8).
  const std::string sjisName = TargetIsWindows() ? "000/\xE3\x82\xB2\xE3\x83\xBC\xE3\x83\xA0"
                                                 : "000/\x83\x51\x81\x5B\x83\x80";
  // Units 0-7 (track 0) are never loaded; units 8-9 are the directory itself.
  const std::string directory(disk.bytes.begin() + 8192, disk.bytes.begin() + 10240);
  EXPECT_EQ(DiffTrees((Tree{{"000", "<dir>"},
                            {"000/MAIN", Units(16, 17)},
                            {"000/ABCDEF", Units(30, 33)},
                            {"000/AB", Units(48, 48)},
                            {"000/XY", Units(49, 49)},
                            {sjisName, std::string(8192, '\0') + directory},
                            {"000/EMPTY", ""},
                            {"000/LAST", Units(1224, 1231)}}),
                      ReadTree(work())),
            "");
}

TEST_F(ExtractTest, FullDirectoryHasNoEndMark) {
  Disk disk = PatternDisk("FULL");
  for (int entry = 0; entry < 512; ++entry) {
    char name[8];
    std::snprintf(name, sizeof name, "F%03d", entry);
    d88build::SetDirectoryEntry(&disk, entry, name, static_cast<uint16_t>(16 + entry),
                                static_cast<uint16_t>(16 + entry));
  }
  WriteImages({d88build::ImageFromDisk(disk)});
  const ToolResult result = Run({"-d"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
  const Tree tree = ReadTree(work());
  EXPECT_EQ(tree.size(), 512u);
  EXPECT_TRUE(tree.at("F000") == Units(16, 16));
  EXPECT_TRUE(tree.at("F511") == Units(527, 527));
  EXPECT_NE(result.out.find("F511    START:020f  END:020f  SIZE:0400\n"), std::string::npos);
}

TEST_F(ExtractTest, MissingSectorsReadAsZerosNotAsThePreviousDisk) {
  Disk first = PatternDisk("FIRST");
  d88build::SetDirectoryEntry(&first, 0, "DATA", 40, 55);
  d88build::EndDirectory(&first, 1);
  Disk second = first;
  second.name = "SECOND";
  for (int unit = 40; unit < 56; ++unit) d88build::PutUnits(&second, unit, Unit(unit + 500));
  d88build::Image secondImage = d88build::ImageFromDisk(second);
  secondImage.tracks[5].erase(secondImage.tracks[5].begin() + 4);  // no sector 5 on track 5
  secondImage.tracks.erase(6);                                     // no track 6
  WriteImages({d88build::ImageFromDisk(first), secondImage});

  const ToolResult result = Run();
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(DiffTrees((Tree{{"000", "<dir>"},
                            {"000/DATA", Units(40, 55)},
                            {"001", "<dir>"},
                            {"001/DATA", Units(540, 543) + std::string(12 * 1024, '\0')}}),
                      ReadTree(work())),
            "");
}

// The file ends inside sector 3 of image 1's track 3, which is stored last:
// the sector counts in full, so the run goes on to sectors 4 to 8, but the
// 500 bytes the file lacks are zeros, not image 0's bytes at that place.
TEST_F(ExtractTest, DataCutByTheFileEndReadsAsZerosNotAsThePreviousDisk) {
  Disk first = PatternDisk("FIRST");
  d88build::SetDirectoryEntry(&first, 0, "T2TO7", 16, 63);
  d88build::EndDirectory(&first, 1);
  Disk second;
  second.name = "SECOND";
  for (int unit = 16; unit < 32; ++unit) d88build::PutUnits(&second, unit, Unit(unit + 500));
  d88build::SetDirectoryEntry(&second, 0, "T3", 24, 31);
  d88build::EndDirectory(&second, 1);
  d88build::Image secondImage;
  secondImage.name = second.name;
  for (int track = 0; track <= 3; ++track) {
    secondImage.tracks[track] = d88build::TrackRecords(second, track);
  }
  std::vector<d88build::Record>& track3 = secondImage.tracks[3];
  std::rotate(track3.begin() + 2, track3.begin() + 3, track3.end());  // sector 3 last
  Bytes file = d88build::BuildD88({d88build::ImageFromDisk(first), secondImage});
  file.resize(file.size() - 500);
  WriteFileOrDie(d88Path(), file);

  const std::string t3 = Units(524, 525) + Units(526, 526).substr(0, 524) +
                         std::string(500, '\0') + Units(527, 531);
  const ToolResult perImage = Run();
  EXPECT_EQ(perImage.status, 0);
  EXPECT_EQ(perImage.err, "");
  EXPECT_EQ(DiffTrees((Tree{{"000", "<dir>"},
                            {"000/T2TO7", Units(16, 63)},
                            {"001", "<dir>"},
                            {"001/T3", t3}}),
                      ReadTree(work())),
            "");
  fs::remove_all(work());
  fs::create_directory(work());
  const ToolResult flat = Run({"-d"});
  EXPECT_EQ(flat.status, 0);
  EXPECT_EQ(DiffTrees((Tree{{"T2TO7", Units(16, 63)}, {"T3", t3}}), ReadTree(work())), "");
}

// With no track 1 the directory reads as 512 zero entries: each is listed
// with an empty name, which cannot be a file.
TEST_F(ExtractTest, AbsentDirectoryTrackListsEmptyNames) {
  d88build::Image image = d88build::ImageFromDisk(PatternDisk("NODIR"));
  image.tracks.erase(1);
  WriteImages({image});
  const ToolResult result = Run({"-d"});
  EXPECT_EQ(result.status, 1);
  std::string listing = k2HD, errors;
  for (int entry = 0; entry < 512; ++entry) {
    listing += "        START:0000  END:0000  SIZE:0400\n";
    errors += "d88extract: image 0, entry " + std::to_string(entry) +
              " \"\": not a usable file name, not written\n";
  }
  EXPECT_EQ(result.out, listing);
  EXPECT_EQ(result.err, errors);
  EXPECT_EQ(DiffTrees(Tree{}, ReadTree(work())), "");
}

TEST_F(ExtractTest, RefusedEntriesAreReportedAndTheRestWritten) {
  Disk disk = PatternDisk("BAD");
  d88build::SetDirectoryEntry(&disk, 0, "PAST", 0x4CF, 0x4D0);  // ends one unit past the disk
  d88build::SetDirectoryEntry(&disk, 1, "NEG", 0x20, 0x1E);     // size -1024
  d88build::SetDirectoryEntry(&disk, 2, "HUGE", 0x10, 0xFFFF);
  d88build::SetDirectoryEntry(&disk, 3, ".", 0x10, 0x10);
  d88build::SetDirectoryEntry(&disk, 4, "..", 0x10, 0x10);
  d88build::SetDirectoryEntry(&disk, 5, "A/B", 0x10, 0x10);
  d88build::SetDirectoryEntry(&disk, 6, "BUSY", 0x10, 0x10);  // a directory stands there
  d88build::SetDirectoryEntry(&disk, 7, "GOOD", 0x4CF, 0x4CF);
  d88build::EndDirectory(&disk, 8);
  WriteImages({d88build::ImageFromDisk(disk)});
  fs::create_directories(work() / "000" / "BUSY");

  const ToolResult result = Run();
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "\n[BAD] -> 000\n" + k2HD +
                            "PAST    START:04cf  END:04d0  SIZE:0800\n"
                            "NEG     START:0020  END:001e  SIZE:fffffc00\n"
                            "HUGE    START:0010  END:ffff  SIZE:3ffc000\n"
                            ".       START:0010  END:0010  SIZE:0400\n"
                            "..      START:0010  END:0010  SIZE:0400\n"
                            "A/B     START:0010  END:0010  SIZE:0400\n"
                            "BUSY    START:0010  END:0010  SIZE:0400\n"
                            "GOOD    START:04cf  END:04cf  SIZE:0400\n");
  EXPECT_EQ(result.err,
            "d88extract: image 0, entry 0 \"PAST\": points outside the disk, not written\n"
            "d88extract: image 0, entry 1 \"NEG\": points outside the disk, not written\n"
            "d88extract: image 0, entry 2 \"HUGE\": points outside the disk, not written\n"
            "d88extract: image 0, entry 3 \".\": not a usable file name, not written\n"
            "d88extract: image 0, entry 4 \"..\": not a usable file name, not written\n"
            "d88extract: image 0, entry 5 \"A/B\": not a usable file name, not written\n"
            "d88extract: image 0, entry 6 \"BUSY\": cannot write the file\n");
  EXPECT_EQ(
      DiffTrees((Tree{{"000", "<dir>"}, {"000/BUSY", "<dir>"}, {"000/GOOD", Units(1231, 1231)}}),
                ReadTree(work())),
      "");
}

TEST_F(ExtractTest, FlatRunLetsLaterImagesOverwrite) {
  Disk first = PatternDisk("ONE");
  d88build::SetDirectoryEntry(&first, 0, "SAME", 0x10, 0x10);
  d88build::SetDirectoryEntry(&first, 1, "ONLY1", 0x11, 0x11);
  d88build::EndDirectory(&first, 2);
  Disk second = PatternDisk("TWO");
  d88build::SetDirectoryEntry(&second, 0, "SAME", 0x20, 0x21);
  d88build::EndDirectory(&second, 1);
  WriteImages({d88build::ImageFromDisk(first), d88build::ImageFromDisk(second)});

  const ToolResult result = Run({"-d"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, k2HD +
                            "SAME    START:0010  END:0010  SIZE:0400\n"
                            "ONLY1   START:0011  END:0011  SIZE:0400\n" +
                            k2HD + "SAME    START:0020  END:0021  SIZE:0800\n");
  EXPECT_EQ(DiffTrees((Tree{{"SAME", Units(32, 33)}, {"ONLY1", Units(17, 17)}}), ReadTree(work())),
            "");
}

// Every track of every image leads into one chain of records that never
// match until its end, where one byte 0xFF ends each directory at once.
TEST_F(ExtractTest, HostileChainEndsEveryWalk) {
  WriteFileOrDie(d88Path(), d88build::BuildHostileChain(64, 3000));
  const ToolResult result = Run();
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
  std::string expected;
  Tree tree;
  for (int image = 0; image < 64; ++image) {
    char name[4];
    std::snprintf(name, sizeof name, "%03d", image);
    expected += "\n[HOSTILE] -> " + std::string(name) + "\n" + k2HD;
    tree[name] = "<dir>";
  }
  EXPECT_EQ(result.out, expected);
  EXPECT_EQ(DiffTrees(tree, ReadTree(work())), "");
}

// An image directory that is a link to somewhere else takes that image's
// files, but the next image's directory is still made where the run started.
TEST_F(ExtractTest, LinkedImageDirectoryDoesNotMoveTheRun) {
  Disk first = PatternDisk("ONE");
  d88build::SetDirectoryEntry(&first, 0, "FILE", 0x10, 0x10);
  d88build::EndDirectory(&first, 1);
  Disk second = PatternDisk("TWO");
  d88build::SetDirectoryEntry(&second, 0, "FILE", 0x11, 0x11);
  d88build::EndDirectory(&second, 1);
  WriteImages({d88build::ImageFromDisk(first), d88build::ImageFromDisk(second)});
  fs::create_directories(dir.path() / "elsewhere" / "deeper");
  fs::create_directory_symlink(dir.path() / "elsewhere" / "deeper", work() / "000");

  const ToolResult result = Run();
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(DiffTrees({{"deeper", "<dir>"}, {"deeper/FILE", Units(16, 16)}},
                      ReadTree(dir.path() / "elsewhere")),
            "");
  EXPECT_EQ(DiffTrees({{"000", "<link>"}, {"001", "<dir>"}, {"001/FILE", Units(17, 17)}},
                      ReadTree(work())),
            "");
}

// Names that only Windows refuses, and Shift_JIS names whose second byte
// is 0x5C, which is no path separator there.
TEST_F(ExtractTest, PlatformNameRules) {
  const struct {
    std::string name;       // directory bytes, at most six
    std::string onWindows;  // the host's name for the Windows file (UTF-8); "" = refused
    std::string quoted = "";  // as messages quote the name, where that differs
  } cases[] = {
      {"A\\B", ""},
      {"A:B", ""},
      {"CON", ""},
      {"nul", ""},
      {"COM1", ""},
      {"AUX.TX", ""},
      {"A*B", ""},
      {"A?B", ""},
      {"A<B", ""},
      {"A|B", ""},
      {"A\"B", ""},
      {"AB.", ""},
      {"A\x01" "B", "", "A\\x01B"},
      {"AB\x83", ""},  // a lone lead byte
      {"COM0", ""},
      {"LPT0", ""},
      {"com9", ""},
      {"CONIN$", ""},
      {"NUL.X", ""},
      {"CONIN", "CONIN"},
      {"COM10", "COM10"},
      {"CONX", "CONX"},
      {"\x83\x5C", "\xE3\x82\xBD"},  // katakana SO
      {"\x83\x5C\x83\x5C", "\xE3\x82\xBD\xE3\x82\xBD"},
  };
  Disk disk = PatternDisk("NAMES");
  int entry = 0;
  for (const auto& c : cases) {
    d88build::SetDirectoryEntry(&disk, entry, c.name, static_cast<uint16_t>(0x10 + entry),
                                static_cast<uint16_t>(0x10 + entry));
    ++entry;
  }
  d88build::EndDirectory(&disk, entry);
  WriteImages({d88build::ImageFromDisk(disk)});

  const ToolResult result = Run({"-d"});
  Tree expected;
  std::string errors;
  entry = 0;
  for (const auto& c : cases) {
    const std::string contents = Units(0x10 + entry, 0x10 + entry);
    if (!TargetIsWindows()) {
      expected[c.name] = contents;
    } else if (!c.onWindows.empty()) {
      expected[c.onWindows] = contents;
    } else {
      errors += "d88extract: image 0, entry " + std::to_string(entry) + " \"" +
                (c.quoted.empty() ? c.name : c.quoted) +
                "\": not a usable file name, not written\n";
    }
    ++entry;
  }
  EXPECT_EQ(result.status, errors.empty() ? 0 : 1);
  EXPECT_EQ(result.err, errors);
  EXPECT_EQ(DiffTrees(expected, ReadTree(work())), "");
}

}  // namespace
