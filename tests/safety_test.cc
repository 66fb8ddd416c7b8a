// What the tool does not trust, POSIX only: links, FIFOs, non-regular D88
// paths, closed pipes, file-size limits, terminals.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include "tests/test_support.h"

namespace {

// What stands at an output's name is replaced, never written through, and
// no name may be the D88 file itself.
TEST(SafetyTest, WritesGoNowhereElse) {
  if (TargetIsWindows()) GTEST_SKIP() << "POSIX only";
  const Entries links = {{"LINK", 16, 16}, {"HARD", 17, 17}, {"FIFO", 18, 18}, {"FILE", 19, 19}};
  const Entries one = {{"LONG", 16, 16}, {"DISK", 17, 17}}, two = {{"FILE", 18, 18}};
  const Bytes d88 = BuildD88({PatternImage("ONE", one), PatternImage("TWO", two)});
  const Bytes linksD88 = BuildD88({PatternImage("LINKS", links)});
  const std::string makeLinks =
      "mkdir keep && printf o >keep/other && ln -s keep/other LINK && ln keep/other HARD && "
      "mkfifo FIFO && ln -s keep/nowhere FILE && TOOL";
  const std::string isD88 = "is the D88 file being read, not written";
  const std::string flatOut = k2HD + Listing(one) + k2HD + Listing(two);
  const std::string out =
      "\n[ONE] -> 000\n" + k2HD + Listing(one) + "\n[TWO] -> 001\n" + k2HD + Listing(two);
  Tree written = Files(links), flat = Files(two), perImage = Files(two, "001");
  written.merge(Tree{{"keep", "<dir>"}, {"keep/other", "o"}});
  flat["LONG"] = AsString(d88);
  flat["DISK"] = Units(17, 17);
  // Leaving a directory that is a link by ".." would put image 1 into "far".
  Tree linked = perImage;
  linked.merge(Tree{{"000", "<link>"}, {"far", "<dir>"}, {"far/away", "<dir>"}});
  linked.merge(Files(one, "far/away"));
  perImage.merge(Tree{{"000", "<dir>"}, {"000/DISK", AsString(d88)}, {"000/LONG", Units(16, 16)}});
  perImage["VIA"] = "<link>";
  RunCases({
      {"links and a FIFO", linksD88, "D88 -d", k2HD + Listing(links), "", 0, written, makeLinks},
      {"an image directory that is a link", d88, "D88", out, "", 0, linked,
       "mkdir -p far/away && ln -s far/away 000 && TOOL"},
      {"the D88 file named like an entry", d88, "D88 -d", flatOut, Refused(0, "LONG", isD88), 1,
       flat, "TOOL", "LONG"},
      {"the D88 file in an image directory, through a link", d88, "VIA", out,
       Refused(1, "DISK", isD88), 1, perImage, "ln -s 000/DISK VIA && TOOL", "000/DISK"},
  });
}

TEST(SafetyTest, FailuresAreReportedAndTheRunGoesOn) {
  if (TargetIsWindows()) GTEST_SKIP() << "POSIX only";
  const Entries one = {{"BIG", 16, 31}, {"SMALL", 32, 32}}, two = {{"LATER", 40, 40}};
  const Bytes d88 = BuildD88({PatternImage("ONE", one), PatternImage("TWO", two)});
  const std::string listing = k2HD + Listing(one) + k2HD + Listing(two);
  const std::string lost = "d88extract: cannot write to standard output\n";
  Tree all = Files(one);
  all.merge(Files(two));
  Tree cut = all, withD88 = all, onlyD88 = {{"disk", AsString(d88)}}, fifo = {{"fifo", "<other>"}};
  cut["BIG"] = Units(16, 19);
  withD88["disk"] = AsString(d88);
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  close(ends[0]);  // nobody reads: every write to the pipe fails
  const std::string closedPipe = "TOOL >&" + std::to_string(ends[1]);
  RunCases({
      {"a closed pipe", d88, "D88 -d", "", lost, 1, all, closedPipe},
      {"a file-size limit", d88, "D88 -d", listing, Refused(0, "BIG", "cannot write the file"), 1,
       cut, "prlimit --fsize=4096 TOOL"},
      {"/dev/stdin from a pipe", d88, "/dev/stdin", "", kOpenFailed, 1, onlyD88, "cat disk | TOOL",
       "disk"},
      {"/dev/stdin from /dev/null", d88, "/dev/stdin", "", kOpenFailed, 1, Tree(),
       "TOOL </dev/null"},
      {"a FIFO", d88, "fifo", "", kOpenFailed, 1, fifo, "mkfifo fifo && TOOL"},
      {"/dev/stdin from a file", d88, "/dev/stdin -d", listing, "", 0, withD88, "TOOL <disk",
       "disk"},
  });
  close(ends[1]);
}

// Control bytes of names go raw into files and pipes, as "?" to a terminal,
// and escaped into messages.
TEST(SafetyTest, ControlBytesAreShownSafely) {
  if (TargetIsWindows()) GTEST_SKIP() << "POSIX only";
  // A pseudo-terminal, held open here, and raw, so that the bytes read back
  // are the bytes written.
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_TRUE(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
  const std::string terminal = ptsname(master);
  const int slave = open(terminal.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_TRUE(slave >= 0 && fcntl(master, F_SETFL, O_NONBLOCK) == 0);
  const Entries entries = {{"X\rY\x7F", 16, 16}, {"\x1B]0;\x83\x40", 1231, 1232}};
  const std::string name = "A\x1B[2JB\x83\x5C";
  const std::string out = "\n[" + name + "] -> 000\n" + k2HD + Listing(entries);
  const std::string err = Refused(1, "\\x1B]0;\x83\x40", "points outside the disk, not written");
  const Tree files = Files({entries[0]}, "000");
  ToolCase c{"to a file", BuildD88({PatternImage(name, entries)}), "D88", out, err, 1, files};
  RunCases({c});
  c.what = "to a terminal";
  c.out = "";
  c.shell = "stty raw <" + terminal + " && TOOL >" + terminal;
  RunCases({c});
  std::string shown(4096, '\0');
  shown.resize(static_cast<size_t>(std::max<ssize_t>(0, read(master, shown.data(), 4096))));
  EXPECT_EQ(shown, "\n[A?[2JB\x83\x5C] -> 000\n" + k2HD +
                       Listing({{"X?Y?", 16, 16}, {"?]0;\x83\x40", 1231, 1232}}));
  close(slave);
  close(master);
}

}  // namespace
