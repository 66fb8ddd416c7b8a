// What the tool does not trust: control bytes bound for a terminal, a closed
// pipe, a file-size limit, whatever stands at a file's name, a name that is
// the D88 file itself, and a D88 path that is not a regular file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "tests/test_support.h"

namespace {

using d88build::Bytes;
using d88build::Disk;

const std::string k2HD =
    "2HD\x83\x81\x83\x66\x83\x42\x83\x41\x82\xF0\x94\x46\x8E\xAF\x82\xB5\x82\xDC"
    "\x82\xB5\x82\xBD.\n";

// A disk named `name` whose entries (name, first unit, last unit) hold the
// units' own pattern bytes.
Disk DiskWith(const std::string& name,
              const std::vector<std::tuple<std::string, int, int>>& entries) {
  Disk disk;
  disk.name = name;
  for (int unit = 16; unit < 1232; ++unit) {
    d88build::PutUnits(&disk, unit, d88build::PatternBytes(1024, static_cast<uint8_t>(unit)));
  }
  int index = 0;
  for (const auto& [entryName, first, last] : entries) {
    d88build::SetDirectoryEntry(&disk, index++, entryName, static_cast<uint16_t>(first),
                                static_cast<uint16_t>(last));
  }
  d88build::EndDirectory(&disk, index);
  return disk;
}

std::string UnitsOf(int first, int last) {
  std::string text;
  for (int unit = first; unit <= last; ++unit) {
    text += AsString(d88build::PatternBytes(1024, static_cast<uint8_t>(unit)));
  }
  return text;
}

class SafetyTest : public ToolTest {
 protected:
  void SetUp() override {
    ToolTest::SetUp();
    if (TargetIsWindows()) GTEST_SKIP() << "links, FIFOs, pipes and terminals: POSIX only";
  }
};

// A pseudo-terminal in raw mode, so that the bytes read back are the bytes
// the tool wrote.
class PseudoTerminal {
 public:
  PseudoTerminal() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
    path_ = ptsname(master_);
    slave_ = open(path_.c_str(), O_RDWR | O_NOCTTY);
    termios mode;
    if (slave_ < 0 || tcgetattr(slave_, &mode) != 0) return;
    cfmakeraw(&mode);
    tcsetattr(slave_, TCSANOW, &mode);
    fcntl(master_, F_SETFL, O_NONBLOCK);
  }
  ~PseudoTerminal() {
    if (slave_ >= 0) close(slave_);
    if (master_ >= 0) close(master_);
  }
  bool IsOpen() const { return slave_ >= 0; }
  const std::string& path() const { return path_; }
  std::string ReadAll() {
    std::string text;
    char chunk[4096];
    ssize_t got = 0;
    while ((got = read(master_, chunk, sizeof chunk)) > 0) text.append(chunk, got);
    return text;
  }

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string path_;
};

// Names and disk names are raw bytes on a pipe or in a file; at a terminal
// their control bytes show as "?", byte for byte; messages always escape them.
TEST_F(SafetyTest, ControlBytesAreShownSafely) {
  const std::string sneaky = "X\rY\x7F";          // usable, listed and written
  const std::string outside = "\x1B]0;\x83\x40";  // points outside the disk
  WriteImages({d88build::ImageFromDisk(
      DiskWith("A\x1B[2JB\x83\x5C", {{sneaky, 16, 16}, {outside, 1231, 1232}}))});
  const std::string error =
      "d88extract: image 0, entry 1 \"\\x1B]0;\x83\x40\": points outside "
      "the disk, not written\n";
  const std::string raw = "\n[A\x1B[2JB\x83\x5C] -> 000\n" + k2HD + sneaky +
                          "    START:0010  END:0010  SIZE:0400\n" + outside +
                          "  START:04cf  END:04d0  SIZE:0800\n";
  std::string shown = raw;
  for (char& byte : shown) {
    if (static_cast<unsigned char>(byte) < 0x20 && byte != '\n') byte = '?';
    if (byte == '\x7F') byte = '?';
  }

  const ToolResult piped = RunTool(work(), {d88Path()});
  EXPECT_EQ(piped.out, raw);
  EXPECT_EQ(piped.err, error);
  EXPECT_EQ(piped.status, 1);
  EXPECT_EQ(
      DiffTrees((Tree{{"000", "<dir>"}, {"000/" + sneaky, UnitsOf(16, 16)}}), ReadTree(work())),
      "");

  PseudoTerminal terminal;
  ASSERT_TRUE(terminal.IsOpen());
  RunOptions atTerminal;
  atTerminal.stdoutRedirect = ">" + terminal.path();
  const ToolResult shownRun = RunTool(work(), {d88Path()}, atTerminal);
  EXPECT_EQ(terminal.ReadAll(), shown);
  EXPECT_EQ(shownRun.err, error);
  EXPECT_EQ(shownRun.status, 1);
}

// A closed pipe and a file-size limit end nothing: every file that can be
// written is, the failure is reported, and the status is 1.
TEST_F(SafetyTest, FailedWritesAreReportedNotFatal) {
  WriteImages({d88build::ImageFromDisk(DiskWith("ONE", {{"BIG", 16, 31}, {"SMALL", 32, 32}})),
               d88build::ImageFromDisk(DiskWith("TWO", {{"LATER", 40, 40}}))});
  const Tree everything = {
      {"BIG", UnitsOf(16, 31)}, {"SMALL", UnitsOf(32, 32)}, {"LATER", UnitsOf(40, 40)}};

  int pipeEnds[2];
  ASSERT_EQ(pipe(pipeEnds), 0);
  close(pipeEnds[0]);  // nobody will read
  RunOptions closedPipe;
  closedPipe.stdoutRedirect = ">&" + std::to_string(pipeEnds[1]);
  const ToolResult piped = RunTool(work(), {d88Path(), "-d"}, closedPipe);
  close(pipeEnds[1]);
  EXPECT_EQ(piped.status, 1);
  EXPECT_EQ(piped.err, "d88extract: cannot write to standard output\n");
  EXPECT_EQ(DiffTrees(everything, ReadTree(work())), "");

  fs::remove_all(work());
  fs::create_directory(work());
  RunOptions limited;  // 8 blocks: 4 KiB in dash, 8 KiB in bash; BIG is 16 KiB
  limited.before = "ulimit -f 8 && ";
  const ToolResult capped = RunTool(work(), {d88Path(), "-d"}, limited);
  EXPECT_EQ(capped.status, 1);
  EXPECT_EQ(capped.err, "d88extract: image 0, entry 0 \"BIG\": cannot write the file\n");
  EXPECT_EQ(capped.out, k2HD +
                            "BIG     START:0010  END:001f  SIZE:4000\n"
                            "SMALL   START:0020  END:0020  SIZE:0400\n" +
                            k2HD + "LATER   START:0028  END:0028  SIZE:0400\n");
  Tree written = ReadTree(work());
  EXPECT_LT(written["BIG"].size(), 16384u);
  written.erase("BIG");
  EXPECT_EQ(DiffTrees({{"SMALL", UnitsOf(32, 32)}, {"LATER", UnitsOf(40, 40)}}, written), "");
}

// A link, a hard link, a FIFO or a device node at a file's name is replaced
// by a new file; nothing is written through it.
TEST_F(SafetyTest, WhateverStandsAtTheNameIsReplaced) {
  const std::vector<std::string> names = {"LINK", "DANGLE", "HARD", "FIFO", "NULL"};
  std::vector<std::tuple<std::string, int, int>> entries;
  for (int i = 0; i < 5; ++i) entries.emplace_back(names[i], 16 + i, 16 + i);
  WriteImages({d88build::ImageFromDisk(DiskWith("LINKS", entries))});
  WriteFileOrDie(dir.path() / "target", {'t'});
  WriteFileOrDie(dir.path() / "other", {'o'});
  fs::create_symlink(dir.path() / "target", work() / "LINK");
  fs::create_symlink(dir.path() / "nowhere", work() / "DANGLE");
  fs::create_hard_link(dir.path() / "other", work() / "HARD");
  ASSERT_EQ(mkfifo((work() / "FIFO").c_str(), 0600), 0);
  fs::create_symlink("/dev/null", work() / "NULL");

  const ToolResult result = RunTool(work(), {d88Path(), "-d"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
  Tree expected;
  for (int i = 0; i < 5; ++i) expected[names[i]] = UnitsOf(16 + i, 16 + i);
  EXPECT_EQ(DiffTrees(expected, ReadTree(work())), "");
  EXPECT_EQ(ReadFileText(dir.path() / "target"), "t");
  EXPECT_EQ(ReadFileText(dir.path() / "other"), "o");
  EXPECT_FALSE(fs::exists(dir.path() / "nowhere"));
}

// An entry named like the D88 file, where the file would be written, is
// refused: in the current directory with "-d", in the image's directory
// without. The later images are still read from the intact file.
TEST_F(SafetyTest, TheD88FileIsNeverWritten) {
  const Bytes file = d88build::BuildD88(
      {d88build::ImageFromDisk(DiskWith("ONE", {{"LONG", 16, 16}, {"DISK", 17, 17}})),
       d88build::ImageFromDisk(DiskWith("TWO", {{"NEXT", 18, 18}}))});
  WriteFileOrDie(work() / "LONG", file);
  const ToolResult flat = RunTool(work(), {"LONG", "-d"});
  EXPECT_EQ(flat.status, 1);
  EXPECT_EQ(flat.err,
            "d88extract: image 0, entry 0 \"LONG\": is the D88 file being read, not written\n");
  EXPECT_EQ(
      DiffTrees(
          (Tree{{"LONG", AsString(file)}, {"DISK", UnitsOf(17, 17)}, {"NEXT", UnitsOf(18, 18)}}),
          ReadTree(work())),
      "");

  fs::remove_all(work());
  fs::create_directories(work() / "000");
  WriteFileOrDie(work() / "000" / "DISK", file);
  fs::create_symlink("000/DISK", work() / "VIA");  // a link to it is the same file
  const ToolResult perImage = RunTool(work(), {"VIA"});
  EXPECT_EQ(perImage.status, 1);
  EXPECT_EQ(perImage.err,
            "d88extract: image 0, entry 1 \"DISK\": is the D88 file being read, not written\n");
  EXPECT_EQ(DiffTrees((Tree{{"000", "<dir>"},
                            {"000/DISK", AsString(file)},
                            {"000/LONG", UnitsOf(16, 16)},
                            {"001", "<dir>"},
                            {"001/NEXT", UnitsOf(18, 18)},
                            {"VIA", "<link>"}}),
                      ReadTree(work())),
            "");
}

// Only a regular file, links followed, is a D88 file: a pipe cannot be
// sought, so it would give an empty run reported as success.
TEST_F(SafetyTest, PathThatIsNotARegularFileCannotBeOpened) {
  WriteImages({d88build::ImageFromDisk(DiskWith("ONE", {{"FILE", 16, 16}}))});
  const std::string openFailed =
      "\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xF0\x83\x49\x81\x5B\x83\x76\x83\x93\x82\xC5\x82\xAB"
      "\x82\xDC\x82\xB9\x82\xF1.\n";
  ASSERT_EQ(mkfifo((dir.path() / "fifo").c_str(), 0600), 0);
  RunOptions fromPipe;
  fromPipe.before = "cat '" + d88Path() + "' | ";
  fromPipe.stdinRedirect = "";
  for (const auto& [path, options] : {std::pair{std::string("/dev/stdin"), fromPipe},
                                      {"/dev/stdin", RunOptions{}},
                                      {(dir.path() / "fifo").string(), RunOptions{}}}) {
    const ToolResult result = RunTool(work(), {path}, options);
    EXPECT_EQ(result.status, 1) << path;
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, openFailed);
    EXPECT_EQ(DiffTrees(Tree{}, ReadTree(work())), "");
  }
  RunOptions fromFile;
  fromFile.stdinRedirect = "<'" + d88Path() + "'";
  const ToolResult redirected = RunTool(work(), {"/dev/stdin", "-d"}, fromFile);
  EXPECT_EQ(redirected.status, 0);
  EXPECT_EQ(DiffTrees({{"FILE", UnitsOf(16, 16)}}, ReadTree(work())), "");
}

}  // namespace
