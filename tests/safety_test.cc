// What the tool does not trust: links, FIFOs, streams, limits, failed calls, terminals.
#include <gtest/gtest.h>
#include <unistd.h>

#include "extract/display_text.h"
#include "extract/platform.h"
#include "tests/test_support.h"

namespace {

// Names replaced, never written through, never the D88 file or a stream's; folders held.
TEST(SafetyTest, WritesGoNowhereElse) {
  const Entries links = {{"LINK", 16, 16}, {"HARD", 17, 17},  {"FIFO", 18, 18},
                         {"FILE", 19, 19}, {"TOD88", 20, 20}, {"HARDD", 21, 21}};
  const Entries one = {{"LONG", 16, 16}, {"DISK", 17, 17}}, two = {{"FILE", 18, 18}};
  const Bytes d88 = BuildD88({PatternImage("ONE", one), PatternImage("TWO", two)});
  const Bytes linksD88 = BuildD88({PatternImage("LINKS", links)});
  const std::string makeLinks =
      "mkdir keep && printf o >keep/other && ln -s keep/other LINK && ln keep/other HARD && "
      "mkfifo FIFO && ln -s keep/nowhere FILE && ln -s disk TOD88 && ln disk HARDD && TOOL";
  const std::string isD88 = "is the D88 file being read, not written";
  const std::string skipped = "d88extract: cannot enter directory 000; image 0 skipped\n";
  Tree written = Files({links.begin(), links.end() - 1}), readOnly = Files(one),
       linked = Files(two, "001"), planted = Files(two, "s/001");
  written.merge(Tree{{"keep", "<dir>"}, {"keep/other", "o"}});
  written["disk"] = written["HARDD"] = AsString(linksD88);
  readOnly.merge(Files(two));
  // A folder that is a link could lead anywhere: image 0 is not written.
  linked.merge(Tree{{"000", "<link>"}, {"far", "<dir>"}, {"far/away", "<dir>"}});
  planted.merge(Tree{{"s", "<dir>"}, {"s/000", "<dir>"}});
  // Each stat failing in turn leaves the D88 file, named like an entry, whole.
  const std::string statsFail =
      kNoLeaks + "cp LONG ../pristine && strace -qq -e trace=%%stat -o ../trace TOOL >DISK; "
      "n=$(grep -c . ../trace); k=0; while [ $k -lt $n ]; do k=$((k + 1)); strace -qq -o "
      "/dev/null -e inject=%%stat:error=EIO:when=$k TOOL >DISK; cmp -s LONG ../pristine || exit 9; "
      "done; TOOL >DISK";
  const std::string whereOutputGoes =
      Refused(0, "LONG", isD88) + Refused(1, "DISK", "is where standard output goes, not written");
  const Tree onlyD88 = {{"disk", AsString(d88)}};
  Tree stats = readOnly, errorFiles = readOnly;
  errorFiles["DISK"] = Refused(1, "DISK", "is where standard error goes, not written");
  stats["LONG"] = AsString(d88), stats["DISK"] = k2HD + Listing(one) + k2HD + Listing(two);
  std::vector<ToolCase> cases = {
      {.what = "links, a FIFO and the D88 file", .d88 = linksD88, .args = "D88 -d",
       .out = k2HD + Listing(links), .err = Refused(5, "HARDD", isD88), .status = 1,
       .files = written, .shell = makeLinks, .d88At = "disk", .posixOnly = true},
      {.what = "a read-only file", .d88 = d88, .args = "D88 -d", .out = k2HD + Listing(one) + k2HD +
       Listing(two), .files = readOnly, .shell = "printf x >DISK && chmod a-w DISK && TOOL"},
      {.what = "an image directory that is a link", .d88 = d88, .out = PerImage("TWO", two, "001"),
       .err = skipped, .status = 1, .files = linked,
       .shell = "mkdir -p far/away && ln -s far/away 000 && TOOL"},
      {.what = "the start folder removed", .d88 = d88,
       .err = "d88extract: cannot tell the current directory\n", .status = 1,
       .shell = "mkdir gone && cd gone && rmdir ../gone && TOOL", .posixOnly = true},
      {.what = "the start folder removed, a listing", .d88 = d88, .args = "--list D88",
       .out = PerImage("ONE", one, "000") + PerImage("TWO", two, "001"),
       .shell = "mkdir gone && cd gone && rmdir ../gone && TOOL", .posixOnly = true},
      {.what = "standard error into an entry's name", .d88 = d88, .args = "D88 -d",
       .out = k2HD + Listing(one) + k2HD + Listing(two), .status = 1, .files = errorFiles,
       .shell = "TOOL 2>DISK"},
      {.what = "standard output on the D88 file", .d88 = d88, .args = "D88 -d",
       .err = "d88extract: standard output is the D88 file\n", .status = 1, .files = onlyD88,
       .shell = "TOOL 1<>disk", .d88At = "disk"},
      {.what = "both standard streams on the D88 file", .d88 = d88, .args = "D88 -d", .status = 1,
       .files = onlyD88, .shell = "TOOL 1<>disk 2<>disk", .d88At = "disk"},
      {.what = "standard error on the D88 file", .d88 = d88, .args = "D88 -d",
       .out = "d88extract: standard error is the D88 file\n", .status = 1, .files = onlyD88,
       .shell = "TOOL 2<>disk", .d88At = "disk"},
      {.what = "every stat failing in turn", .d88 = d88, .args = "D88 -d", .err = whereOutputGoes,
       .status = 1, .files = stats, .shell = statsFail, .d88At = "LONG", .posixOnly = true},
  };
  // An image folder another user made in a shared sticky folder, unless the user owns that too.
  const std::string sticky = "mkdir -m 1777 s && mkdir s/000 && chown 65534 s/000 && ";
  Tree owners = Files(one, "s/000");
  owners.merge(Tree{{"s", "<dir>"}, {"s/001", "<dir>"}, {"s/001/FILE", Units(18, 18)}});
  if (getuid() == 0) {
    cases.push_back({.what = "a folder another user planted", .d88 = d88,
                     .out = PerImage("TWO", two, "001"), .err = skipped, .status = 1,
                     .files = planted, .shell = sticky + "cd s && TOOL", .posixOnly = true});
    cases.push_back({.what = "a folder the sticky folder's owner made", .d88 = d88,
                     .out = PerImage("ONE", one, "000") + PerImage("TWO", two, "001"),
                     .files = owners, .shell = sticky + "chown 65534 s && cd s && TOOL"});
  }
  RunCases(cases);
}

TEST(SafetyTest, FailuresAreReportedAndTheRunGoesOn) {
  const Entries one = {{"BIG", 16, 31}, {"SMALL", 32, 32}}, two = {{"LATER", 40, 40}};
  const Bytes d88 = BuildD88({PatternImage("ONE", one), PatternImage("TWO", two)});
  const std::string listing = k2HD + Listing(one) + k2HD + Listing(two);
  const std::string lost = "d88extract: cannot write to standard output\n";
  const std::string cannotRead = "d88extract: cannot read the D88 file\n";
  Tree all = Files(one), perImage = Files(one, "000"), firstImage = Files(one, "000"),
       later = Files(two, "001");
  all.merge(Files(two));
  perImage.merge(Files(two, "001"));
  Tree cut = all, withD88 = all, keptOld = all;
  cut.erase("BIG");  // not written means not there
  withD88["disk"] = AsString(d88);
  keptOld["SMALL"] = "old";
  firstImage.merge(Tree{{"001", "<dir>"}, {"disk", AsString(d88)}});
  later["000"] = "<dir>";
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  close(ends[0]);  // nobody reads: every write to the pipe fails
  // Reads fail at image 0's header (the scan reads it) or at image 1's track 77 (loading does).
  const auto failAt = [](size_t position) {
    return "LD_PRELOAD=" FAILING_READS " D88_FAIL_FILE=\"$PWD/disk\" D88_FAIL_AT=" +
           std::to_string(position) + " TOOL";
  };
  const size_t imageOne = d88build::BuildImage(PatternImage("ONE", one)).size();
  // A call on the temporary file that replaces SMALL fails as told; a failed rename leaves no
  // temporary file. Signals at the Nth file's creation (TERM, HUP, INT) end the run by them
  // after N whole files, the others old; an ignored HUP stays ignored.
  const auto onTemporary = [](const std::string& call, const std::string& error) {
    return "printf old >SMALL; strace -qq -o ../trace -e trace=openat," + call + " TOOL >/dev/null"
           "; n=$(awk '/^" + call + "\\(/ {c++} /d88extract-.*O_CREAT/ {t = 1; next} t && /^" +
           call + "\\(/ {print c; exit}' ../trace); rm BIG LATER; printf old >SMALL; " + kTraced +
           "-e inject=" + call + ":error=" + error + ":when=$n TOOL";
  };
  const std::string old = "for f in BIG SMALL LATER; do printf old >$f; done; ";
  const std::string signals =
      kNoLeaks + old + "strace -qq -o ../trace -e trace=openat TOOL >/dev/null && mkdir ../new && "
      "cp BIG SMALL LATER ../new && ks=$(grep -n 'd88extract-.*O_CREAT' ../trace | cut -d: -f1); "
      "i=0; for k in $ks; do i=$((i + 1)); s=$(echo 15 1 2 | cut -d' ' -f$i); " + old +
      "strace -q -o ../k -e inject=openat:signal=$s:when=$k TOOL >/dev/null; [ $? = $((128 + s)) ] "
      "&& grep -q '+++ killed' ../k || exit 8; j=0; for n in BIG SMALL LATER; do j=$((j + 1)); if "
      "[ $j -le $i ]; then cmp -s $n ../new/$n; else [ \"$(cat $n)\" = old ]; fi || exit 9; done; "
      "ls -a | grep -q d88extract- && exit 10; done; " + old + "trap '' HUP; strace -qq -o "
      "/dev/null -e inject=openat:signal=1:when=${ks%%[!0-9]*} TOOL";
  // The fstat of standard output, located from a traced run elsewhere, fails.
  const std::string outputUnknown =
      "mkdir ../t && cd ../t && " + kTraced + "-o ../trace -e trace=%%stat TOOL -d >/dev/null; "
      "n=$(grep -n 'fstatat(1, \"\"' ../trace | head -n 1 | cut -d: -f1); " + kTraced +
      "-e inject=%%stat:error=EIO:when=$n TOOL";
  Entries many;
  for (int i = 0; i < 150; ++i) many.emplace_back("F" + std::to_string(i), 16 + i, 16 + i);
  RunCases({
      {.what = "a closed pipe", .d88 = d88, .args = "D88 -d", .err = lost, .status = 1,
       .files = all, .shell = "TOOL >&" + std::to_string(ends[1])},
      {.what = "no stdout, no /dev/null", .d88 = d88, .args = "D88 -d", .err = lost, .status = 1,
       .files = all, .shell = kTraced + "-P /dev/null -e inject=openat:error=ENFILE TOOL >&-"},
      {.what = "a closed standard error", .d88 = BuildD88({PatternImage("E", {{".", 16, 16}})}),
       .args = "D88 -d", .out = k2HD + Listing({{".", 16, 16}}), .status = 1, .shell = "TOOL 2>&-"},
      {.what = "a closed stream that cannot be held", .d88 = d88, .args = "D88 -d",
       .err = "d88extract: cannot hold a closed standard stream\n", .status = 1,
       .shell = kTraced + "-e inject=pipe,pipe2:error=EMFILE TOOL <&-", .posixOnly = true},
      {.what = "standard output that cannot be looked at", .d88 = d88,
       .err = "d88extract: cannot tell whether standard output is the D88 file\n", .status = 1,
       .shell = outputUnknown, .posixOnly = true},
      {.what = "an image folder taking no names", .d88 = d88, .out = PerImage("TWO", two, "001"),
       .err = "d88extract: cannot enter directory 000; image 0 skipped\n", .status = 1,
       .files = later, .shell = kDropPowers + "mkdir -m 555 000 && $drop TOOL", .posixOnly = true},
      {.what = "faccessat refused by a system-call filter", .d88 = d88,
       .out = PerImage("ONE", one, "000") + PerImage("TWO", two, "001"), .files = perImage,
       .shell = "[ $(id -u) != 0 ] || { mkdir 000 && chown 65534 000; }; " + kTraced +
       "-e inject=faccessat2,faccessat:error=EPERM TOOL", .posixOnly = true},  // root may write
      {.what = "a file-size limit", .d88 = d88, .args = "D88 -d", .out = listing,
       .err = Refused(0, "BIG", "cannot write the file"), .status = 1, .files = cut,
       .shell = "prlimit --fsize=4096 TOOL", .posixOnly = true},
      {.what = "a FIFO", .d88 = d88, .args = "fifo", .err = kOpenFailed, .status = 1,
       .files = {{"fifo", "<other>"}}, .shell = "mkfifo fifo && TOOL"},
      {.what = "a write to standard output fails once", .d88 = BuildD88({PatternImage("M", many)}),
       .args = "D88 -d", .err = lost, .status = 1, .files = Files(many), .shell = kTraced +
       "-P \"$PWD/out\" -e inject=write:error=EIO:when=1 TOOL >out; s=$?; rm out; exit $s"},
      {.what = "-d into a locked folder", .d88 = BuildD88({PatternImage("L", {{"OLD", 16, 16}})}),
       .args = "D88 -d", .out = k2HD + Listing({{"OLD", 16, 16}}),
       .err = Refused(0, "OLD", "cannot write the file"), .status = 1, .files = {{"OLD", "\n"}},
       .shell = kDropPowers + "echo >OLD && chmod 555 . && $drop TOOL; s=$?; chmod u+w .; exit $s",
       .posixOnly = true},
      {.what = "a replacement that cannot be written whole", .d88 = d88, .args = "D88 -d",
       .out = listing, .err = Refused(1, "SMALL", "cannot write the file"), .status = 1,
       .files = keptOld, .shell = onTemporary("write", "ENOSPC"), .posixOnly = true},
      {.what = "a replacement that cannot be closed", .d88 = d88, .args = "D88 -d", .out = listing,
       .err = Refused(1, "SMALL", "cannot write the file"), .status = 1, .files = keptOld,
       .shell = onTemporary("close", "EIO"), .posixOnly = true},
      {.what = "a replacement's write interrupted", .d88 = d88, .args = "D88 -d", .out = listing,
       .files = all, .shell = onTemporary("write", "EINTR"), .posixOnly = true},
      {.what = "a rename that fails", .d88 = d88, .args = "D88 -d", .out = listing, .err =
       Refused(1, "SMALL", "cannot write the file"), .status = 1, .files = keptOld, .shell =
       "printf old >SMALL && " + kTraced + "-e inject=/^rename:error=EIO TOOL", .posixOnly = true},
      {.what = "signals at each file's creation", .d88 = d88, .args = "D88 -d", .out = listing,
       .files = all, .shell = signals, .posixOnly = true},
      {.what = "interrupted reads", .d88 = d88, .args = "D88 -d", .out = listing, .files = withD88,
       .shell = kTraced + "-P \"$PWD/disk\" -e inject=pread64:error=EINTR:when=1+2 TOOL",
       .d88At = "disk"},
      {.what = "a read error in the scan", .d88 = d88, .err = cannotRead, .status = 1,
       .files = {{"disk", AsString(d88)}}, .shell = failAt(0x1C), .d88At = "disk"},
      {.what = "a read error loading image 1", .d88 = d88, .out = PerImage("ONE", one, "000") +
       "\n[TWO] -> 001\n" + k2HD, .err = cannotRead, .status = 1, .files = firstImage,
       .shell = failAt(imageOne + 688 + 77 * 8 * (16 + 1024) + 100), .d88At = "disk"},
  });
  close(ends[1]);
}

// A name is replaced only when told from every protected file (unknown
// protects all); a file is its volume and inode, a volume of 0 none.
TEST(SafetyTest, ExistingNamesAreJudgedByIdentity) {
  const FileIdentity unknown, a{true, 1, {5, 0}}, b{true, 1, {6, 0}}, c{true, 2, {7, 0}};
  EXPECT_EQ(JudgeExistingName(b, false, {a}), SaveResult::kWritten);
  EXPECT_EQ(JudgeExistingName({true, 2, {5, 0}}, false, {a}), SaveResult::kWritten);
  EXPECT_EQ(JudgeExistingName(a, false, {a}), SaveResult::kIsD88File);
  EXPECT_EQ(JudgeExistingName({true, 0, {5, 0}}, false, {a}), SaveResult::kIsD88File);
  EXPECT_EQ(JudgeExistingName(unknown, false, {a}), SaveResult::kNotWritten);
  EXPECT_EQ(JudgeExistingName(b, false, {unknown}), SaveResult::kNotWritten);
  EXPECT_EQ(JudgeExistingName(b, false, {a, b}), SaveResult::kIsStandardOutput);
  EXPECT_EQ(JudgeExistingName(c, false, {a, b, c}), SaveResult::kIsStandardError);
  EXPECT_EQ(JudgeExistingName(b, true, {a}), SaveResult::kNotWritten);
  char name[kTemporaryNameBytes];
  FormatTemporaryName(name, 42, 3);
  EXPECT_STREQ(name, ".d88extract-42-3.tmp");
}

// Shift_JIS as streams show it: raw, masked, decoded at UTF-8 terminals (0x80 as Windows does).
TEST(SafetyTest, TextAsEachStreamShowsIt) {
  const auto windows = [](const char* bytes, int length, char32_t* character) {
    if (length == 1 && static_cast<unsigned char>(bytes[0]) == 0x80) return *character = 0x80, true;
    return DecodeCp932(bytes, length, character);
  };
  const DisplayMode raw, terminal{true, false}, utf8{true, true};
  const Field output = Field::kOutput, message = Field::kMessage;
  const auto shown = [](std::string bytes, DisplayMode mode, Field field, size_t pad = 0,
                        DecodeCharacter decode = DecodeCp932) {
    return ToDisplay(bytes, mode, field, decode, pad);
  };
  EXPECT_EQ(shown("A\rB\x83\x5C", raw, output), "A\rB\x83\x5C");  // pipes and files: the bytes
  EXPECT_EQ(shown("A\rB\x83\x5C", terminal, output, 6), "A?B\x83\x5C ");
  EXPECT_EQ(shown("A\rB\x83\x5C", raw, message), "A\\x0DB\x83\x5C");
  EXPECT_EQ(shown("\x83Q\x81[\x83\x80", utf8, output, 6), "\xE3\x82\xB2\xE3\x83\xBC\xE3\x83\xA0");
  EXPECT_EQ(shown("\xB1\xB2", utf8, output, 6), "\xEF\xBD\xB1\xEF\xBD\xB2    ");  // half-width kana
  EXPECT_EQ(shown("\x80" "A\x83", utf8, output), "?A?");  // no such byte; a lone lead byte
  EXPECT_EQ(shown("\x84\x40\x9F\x40", utf8, output), "\xD0\x90\xE6\xAA\x97");  // U+0410, U+6A97
  EXPECT_EQ(shown("\x80" "A\x83", utf8, message), "\\x80A\\x83");
  EXPECT_EQ(shown("\x81\x0A\x01\x7F", utf8, output), "????");  // a lead byte before a control
  EXPECT_EQ(shown("\x80\x01\x7F", utf8, message, 0, windows), "\\x80\\x01\\x7F");  // C1, C0, DEL
  EXPECT_EQ(shown("\x80", utf8, output, 0, windows), "?");
  for (const auto& [name, utf8Name] : {std::pair{"C.UTF-8", true}, {"ja_JP.utf8", true},
                                       {"ja_JP.SJIS", false}, {"C", false}, {"UTF-8", false}}) {
    EXPECT_EQ(LocaleNamesUtf8(name), utf8Name) << name;
  }
}

// At a terminal masked, in the locale's character set: raw Shift_JIS, or decoded into UTF-8.
TEST(SafetyTest, TextAtATerminal) {
  const Entries entries = {{"X\rY\x7F", 16, 16}, {"\x1B]\x7F;\x83\x40", 1231, 1232}};
  const std::string name = "A B\x1B[2JC\x83\x5C" "123456";  // all 16 bytes, a space kept
  const std::string masked = PerImage("A B?[2JC\x83\x5C" "123456",
                                      {{"X?Y?", 16, 16}, {"?]?;\x83\x40", 1231, 1232}}, "000");
  const std::string utf8 = "\n[A B?[2JC\xE3\x82\xBD" "123456] -> 000\n2HD\xE3\x83\xA1\xE3\x83"
      "\x87\xE3\x82\xA3\xE3\x82\xA2\xE3\x82\x92\xE8\xAA\x8D\xE8\xAD\x98\xE3\x81\x97\xE3\x81\xBE"
      "\xE3\x81\x97\xE3\x81\x9F.\n" + Listing({{"X?Y?", 16, 16}, {"?]?;\xE3\x82\xA1", 1231, 1232}});
  const auto at = [](const std::string& locale) {
    return "script -qec \"stty -onlcr; LC_ALL=" + locale + " TOOL\" /dev/null";
  };
  ToolCase c{.d88 = BuildD88({PatternImage(name, entries)}), .out = utf8,
             .err = Refused(1, "\\x1B]\\x7F;\x83\x40", "points outside the disk, not written"),
             .status = 1, .files = Files({entries[0]}, "000"), .posixOnly = true};
  std::vector<ToolCase> cases = {c, c, c};
  cases[0].out = masked, cases[0].shell = at("C");
  cases[1].shell = at("C.UTF-8");
  cases[2].shell = at("xx_YY.UTF-8 LANG=C");  // the first variable set decides, installed or not
  RunCases(cases);
}

}  // namespace
