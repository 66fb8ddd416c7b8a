// The tool: its rules in-process, and whole runs end to end, one table per behaviour group.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "extract/command_line.h"
#include "extract/loaded_disk.h"
#include "extract/messages.h"
#include "extract/platform.h"
#include "extract/run.h"
#include "image/d88_file.h"
#include "tests/test_support.h"

namespace {

using d88build::Image;

TEST(ToolTest, CommandLineRules) {
  const Action usage = Action::kUsage, list = Action::kList, extract = Action::kExtract;
  const struct {
    const char* args;
    Action action;
    const char* path = nullptr;
    bool perImage = true;
    const char* folder = nullptr;
  } rows[] = {
      {"", usage}, {"a b c d", usage}, {"--help", Action::kHelp}, {"-h", Action::kHelp},
      {"--version", Action::kVersion}, {"x", extract, "x"}, {"x -d", extract, "x", false},
      {"x -D", extract, "x"}, {"x y -d", extract, "x"}, {"x -d y", extract, "x"},
      {"-d", extract, "-d"}, {"--help -d", extract, "--help", false},
      {"--version y", extract, "--version"}, {"./-l", extract, "./-l"},
      {"--list x", list, "x"}, {"-l x -d", list, "x", false}, {"-C o x", extract, "x", true, "o"},
      {"-C o -l x -d", list, "x", false, "o"}, {"-l -C o x", list, "x", true, "o"},
      {"-C -l x", extract, "x", true, "-l"}, {"-l --help", list, "--help"}, {"-l", usage},
      {"-C", usage}, {"-C o", usage}, {"-l -l x", usage}, {"-C a -C b x", usage},
      {"-l x -D", usage}, {"-l x -d y", usage}, {"-l x y", usage}, {"-C o x y z", usage},
  };
  for (const auto& row : rows) {
    std::vector<std::string> words = {"d88extract"};
    std::istringstream split(row.args);
    for (std::string word; split >> word;) words.push_back(word);
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    const Options options = ParseCommandLine(static_cast<int>(argv.size()), argv.data());
    EXPECT_EQ(options.action, row.action) << row.args;
    EXPECT_STREQ(options.d88Path, row.path) << row.args;
    EXPECT_EQ(options.perImageFolders, row.perImage) << row.args;
    EXPECT_STREQ(options.outputFolder, row.folder) << row.args;
  }
  char* none[] = {nullptr};  // no argv[0]: the run still names itself
  D88File d88;
  testing::internal::CaptureStderr();
  EXPECT_EQ(RunExtractor(0, none, d88), 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Usage: d88extract [d88file]\n");
}

TEST(ToolTest, ImagesAndFolders) {
  const Bytes two = BuildD88({PatternImage("DISK A"), PatternImage("DISK B")});
  const std::string perImage = "\n[DISK A] -> 000\n" + k2HD + "\n[DISK B] -> 001\n" + k2HD;
  const Tree dirs = {{"000", "<dir>"}, {"001", "<dir>"}};
  const char* program = std::getenv("D88EXTRACT_PROGRAM_NAME");  // set under wine
  const std::string usage =
      "Usage: " + std::string(program ? program : D88EXTRACT_BINARY) + " [d88file]\n";
  Image dd = PatternImage("2DD");
  dd.mediaType = 0x00;  // only 0x20 is 2HD
  // A listing, from a folder that takes no changes (as root too), prints what extracting prints.
  const Entries odd = {{"OK", 16, 16}, {"PAST", 1231, 1232}, {"A/B", 17, 17}};
  const std::string sameAsExtracting =
      kDropPowers + "chmod 555 . && $drop PROGRAM --list ../disk.d88 >../listed 2>&1; echo $? >>"
      "../listed; chmod 755 . && [ -z \"$(ls -A)\" ] && TOOL >../extracted 2>&1; echo $? >>"
      "../extracted; cmp ../listed ../extracted";
  const Bytes oneFile = BuildD88({PatternImage("DISK A", {{"F", 16, 16}})});
  Tree oddFiles = Files({odd[0]}, "000"), inOut = Files({{"F", 16, 16}}, "out");
  oddFiles["001"] = "<dir>";
  inOut["disk.d88"] = AsString(oneFile);
  // -C's folder renamed while the run waits on a full pipe: its later images follow the folder.
  Entries many;
  for (int i = 0; i < 512; ++i) many.emplace_back("F" + std::to_string(i), 16 + i, 16 + i);
  std::string manyOut;
  Tree moved = {{"moved", "<dir>"}, {"run", "<dir>"}};
  for (const std::string folder : {"000", "001", "002", "003", "004"}) {
    manyOut += PerImage("MANY", many, folder);
    moved.merge(Files(many, "moved/" + folder));
  }
  // A path opened by its own characters: on Windows é is not mapped to e (cafe.d88 beside it).
  const std::string path = "\xE6\x97\xA5/caf\xC3\xA9.d88";
  Tree paths = {{path, AsString(two)}, {"cafe.d88", "x"}, {"\xE6\x97\xA5", "<dir>"}};
  paths.merge(Tree(dirs));
  RunCases({
      {.what = "no argument", .d88 = two, .args = "", .err = usage, .status = 1},
      {.what = "no whole header", .d88 = Bytes(687, 0x20)},
      {.what = "one directory per image", .d88 = two, .out = perImage, .files = dirs},
      {.what = "existing directory reused", .d88 = two, .out = perImage, .files = {{"000", "<dir>"},
       {"000/KEEP", "k"}, {"001", "<dir>"}}, .shell = "mkdir 000 && printf k >000/KEEP && TOOL"},
      {.what = "unsupported image ends the run", .d88 = BuildD88({PatternImage("GOOD"), dd, dd}),
       .out = "\n[GOOD] -> 000\n" + k2HD + "\n[2DD] -> 001\n", .err = kUnsupported, .status = 1,
       .files = dirs},
      {.what = "lost standard output", .d88 = two, .err = "d88extract: cannot write to standard "
       "output\n", .status = 1, .files = dirs, .shell = "TOOL >/dev/full"},
      {.what = "--version", .args = "--version", .out = "d88extract " D88EXTRACT_VERSION "\n"},
      {.what = "--help", .args = "--help", .shell = "TOOL >/dev/null"},
      {.what = "the listing and the extraction", .d88 = BuildD88({PatternImage("ODD", odd), dd}),
       .files = oddFiles, .shell = sameAsExtracting, .posixOnly = true},
      {.what = "-C, -d and a D88 path relative to the start", .d88 = oneFile,
       .args = "-C out D88 -d", .out = k2HD + Listing({{"F", 16, 16}}),
       .files = inOut, .shell = "mkdir out && TOOL", .d88At = "disk.d88"},
      {.what = "-C renamed", .d88 = BuildD88(std::vector(5, PatternImage("MANY", many))),
       .args = "-C run D88", .out = manyOut, .files = moved, .shell = "mkdir run && { TOOL; echo $?"
       " >status; } | (IFS= read -r first; mv run moved && mkdir run && echo \"$first\" && cat); "
       "exit $(cat status && rm status)"},
      {.what = "-C: missing, in a listing", .d88 = two, .args = "--list -C miss\x01ing D88",
       .err = "d88extract: cannot use the folder miss\\x01ing\n", .status = 1},
      {.what = "a path", .d88 = two, .out = perImage, .files = paths,
       .shell = "printf x >cafe.d88 && TOOL", .d88At = path},
  });
}

// SaveSectors: a slice of a run, zeros where the run stopped, nothing for what cannot fit or be
// read. Then LoadDisk: zeros for track 0, its own sector range whatever was set.
TEST(ToolTest, SaveSectorsAndTheDisk) {
  TempDir dir;
  Image image = PatternImage("SAVE");
  image.tracks.erase(7);
  for (auto& record : image.tracks[9]) record.data.resize(20000);  // its headers 20 KB apart
  const std::string path = (dir.path / "disk.d88").string();
  WriteFileOrDie(path, BuildD88({image}));
  D88File d88;
  ASSERT_TRUE(d88.Open(path.c_str()) && d88.SelectImage(0));
  d88.SetSectorRange(1, 8);
  const std::string slice = (dir.path / "SLICE").string(), run = (dir.path / "RUN").string();
  ASSERT_TRUE(SaveSectors(d88, slice.c_str(), 2, 1, 0, 1, 3, 1024, 1500));
  EXPECT_EQ(ReadFileText(slice), Units(17, 18).substr(0, 1500));
  ASSERT_TRUE(SaveSectors(d88, run.c_str(), 2, 1, 0, 1, 3, 0, 16384));
  ASSERT_TRUE(SaveSectors(d88, run.c_str(), 6, 3, 0, 1, 3, 8192, 8192));  // track 7 is absent
  EXPECT_EQ(ReadFileText(run), std::string(8192, '\0'));
  for (const auto& [offset, length] : {std::pair{1, 154 * 8192}, {-1, 10}, {0, -10}, {0, 0}}) {
    EXPECT_FALSE(SaveSectors(d88, slice.c_str(), 2, 1, 0, 1, 3, offset, length));
  }
  EXPECT_FALSE(SaveSectors(d88, slice.c_str(), 7, 3, 1, 1, 3, 0, 1024));
  EXPECT_EQ(ReadFileText(slice), Units(17, 18).substr(0, 1500));  // untouched
  EXPECT_TRUE(SaveSectors(d88, run.c_str(), 1, 0, 1, 1, 3, 0, 154 * 8192));  // the whole buffer
  // The fifth header of track 9 fails, read on its own: the run from track 8 stops there.
  setenv("D88_FAIL_FILE", path.c_str(), 1);
  setenv("D88_FAIL_AT", std::to_string(688 + 8 * 8 * 1040 + 4 * 20016 + 1).c_str(), 1);
  EXPECT_FALSE(SaveSectors(d88, (dir.path / "CUT").c_str(), 8, 4, 0, 1, 3, 0, 40 * 8192));
  unsetenv("D88_FAIL_FILE");
  EXPECT_FALSE(fs::exists(dir.path / "CUT"));
  ASSERT_TRUE(d88.Open(path.c_str()) && d88.SelectImage(0) &&
              SaveSectors(d88, run.c_str(), 2, 1, 0, 1, 3, 0, 16384));
  d88.SetSectorRange(1, 4);
  ASSERT_NE(LoadDisk(d88), nullptr);
  const auto track = [](int unit) {
    return std::string(reinterpret_cast<const char*>(BytesOf(DirEntry{"", uint16_t(unit)})), 8192);
  };
  EXPECT_TRUE(track(0) == std::string(8192, '\0'));  // track 0 is never loaded
  EXPECT_TRUE(track(16) == Units(16, 23));
}

TEST(ToolTest, ListingAndFiles) {
  const std::string sjis = "\x83\x51\x81\x5B\x83\x80";  // raw bytes, also in the listing
  const Entries plain = {{"MAIN", 16, 17}, {"ABCDEF", 30, 33}, {"LAST", 1224, 1231}};
  const Entries odd = {{"AB CDE", 48, 48}, {std::string("XY\0ZWV", 6), 49, 49}, {"EMPTY", 64, 63}};
  const Entries shown = {{"AB", 48, 48}, {"XY", 49, 49}, {"EMPTY", 64, 63}};  // listed, written
  const Entries all = {plain[0], plain[1], plain[2], odd[0], odd[1], odd[2], {sjis, 0, 9}};
  const Image names = PatternImage("NAMES", all);
  Tree files = Files(plain, "000");
  files.merge(Files(shown, "000"));
  // Track 0 is never loaded; units 8 and 9 are the directory. Windows names show as UTF-8.
  files[TargetIsWindows() ? "000/\xE3\x82\xB2\xE3\x83\xBC\xE3\x83\xA0" : "000/" + sjis] =
      std::string(8192, '\0') + AsString(names.tracks.at(1)[0].data) +
      AsString(names.tracks.at(1)[1].data);
  const std::string namesOut =
      "\n[NAMES] -> 000\n" + k2HD + Listing(plain) + Listing(shown) + Listing({{sjis, 0, 9}});
  // The file ends 500 bytes into sector 3 of the last track, stored last: the
  // run goes on to sectors 4 to 8; the missing bytes are zeros, not stale.
  Image cut = PatternImage("CUT", {{"T3", 24, 31}});
  for (int track = 4; track < 154; ++track) cut.tracks.erase(track);
  std::rotate(cut.tracks[3].begin() + 2, cut.tracks[3].begin() + 3, cut.tracks[3].end());
  Bytes cutFile = BuildD88({PatternImage("FULL", {{"T2TO7", 16, 63}}), cut});
  cutFile.resize(cutFile.size() - 500);
  const std::string cutOut = k2HD + Listing({{"T2TO7", 16, 63}}) + k2HD + Listing({{"T3", 24, 31}});
  const std::string t3 =
      Units(24, 25) + Units(26, 26).substr(0, 524) + std::string(500, '\0') + Units(27, 31);
  const Tree cutFiles = {{"T2TO7", Units(16, 63)}, {"T3", t3}};
  RunCases({
      {.what = "names, units and the end mark", .d88 = BuildD88({names}), .out = namesOut,
       .files = files},
      {.what = "data cut by the end of the file", .d88 = cutFile, .args = "D88 -d", .out = cutOut,
       .files = cutFiles},
  });
}

// Refused entries: listed, reported right after their line, not written; one of each kind.
TEST(ToolTest, RefusedEntries) {
  const std::string unusable = "not a usable file name, not written";
  std::vector<std::tuple<std::string, int, int, std::string>> rows = {
      {"PAST", 1231, 1232, "points outside the disk, not written"}, {"A/B", 16, 16, unusable},
      {"BUSY", 16, 16, "cannot write the file"}, {"GOOD", 1231, 1231, ""}};
  // Names only Windows refuses (a wildcard, a trailing dot, a device, a lone lead byte, a
  // control); it writes the katakana SO, 0x83 0x5C: no path separator.
  for (const std::string name : {"A*B", "AB.", "nul.x", "AB\x83", "A\x01\x42"}) {
    rows.emplace_back(name, 17, 17, TargetIsWindows() ? unusable : "");
  }
  rows.emplace_back("\x83\x5C", 18, 18, "");
  Entries entries;
  std::string out = "\n[BAD] -> 000\n" + k2HD;
  Tree kept = {{"000", "<dir>"}, {"000/BUSY", "<dir>"}};
  for (const auto& [name, first, last, why] : rows) {
    entries.emplace_back(name, first, last);
    out += Listing({entries.back()});
    const int entry = static_cast<int>(entries.size()) - 1;
    if (!why.empty()) {
      out += Refused(entry, name == "A\x01\x42" ? "A\\x01B" : name, why);
    } else {  // the host sees the Windows name in UTF-8
      kept["000/" + (TargetIsWindows() && name == "\x83\x5C" ? "\xE3\x82\xBD" : name)] =
          Units(first, last);
    }
  }
  RunCases({{.what = "refusals", .d88 = BuildD88({PatternImage("BAD", entries)}), .out = out,
             .status = 1, .files = kept, .shell = "mkdir -p 000/BUSY && TOOL 2>&1"}});
}

// Entries inside the disk (an end before the start: no bytes), names that can be files; Windows'.
TEST(ToolTest, EntryRules) {
  const auto verdict = [](const char* name, int start, int end) {
    DirEntry entry{{}, uint16_t(start), uint16_t(end), (end - start + 1) * 1024};
    std::strncpy(entry.name, name, 6);
    return JudgeEntry(entry);
  };
  EXPECT_EQ(verdict("HUGE", 16, 0xFFFF), EntryVerdict::kOutsideDisk);  // RefusedEntries: the rest
  EXPECT_EQ(verdict("NEG", 32, 30), EntryVerdict::kOutsideDisk);
  EXPECT_EQ(verdict("ZERO", 33, 32), EntryVerdict::kWrite);
  for (const char* name : {"", ".", "..", "A/B"})
    EXPECT_EQ(verdict(name, 16, 16), EntryVerdict::kUnusableName) << name;
  const wchar_t* refused[] = {L"A\\B", L"A/B", L"A:B", L"A*B", L"A?B", L"A<B", L"A>B", L"A|B",
                              L"A\"B", L"A\x1F", L"AB.", L"AB ", L"", L"CON", L"con", L"NUL.X",
                              L"AUX.TX", L"PRN", L"COM0", L"lpt9", L"COM\u00B9", L"LPT\u00B3.A",
                              L"CONIN$", L"conout$", L"aux.txt"};
  const wchar_t* usable[] = {L"CONIN", L"COM10", L"COM", L"LPTX", L"CONX", L"A.B", L".A", L"A B",
                             L"\u30BD"};
  for (const wchar_t* name : refused) EXPECT_FALSE(IsUsableWindowsName(name)) << name;
  for (const wchar_t* name : usable) EXPECT_TRUE(IsUsableWindowsName(name)) << name;
}

}  // namespace
