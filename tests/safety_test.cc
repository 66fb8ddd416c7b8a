// What the tool does not trust: links, FIFOs, non-regular D88 paths,
// folders changed under the run, closed pipes, file-size limits, read
// errors, terminals. Rows that wine cannot show are marked POSIX only.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include "extract/display_text.h"
#include "extract/platform.h"
#include "tests/test_support.h"

namespace {

// What stands at an output's name is replaced, never written through, and
// no name may be the D88 file itself; folders are reached only through what
// the run holds, never by a path again.
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
  const std::string flatOut = k2HD + Listing(one) + k2HD + Listing(two);
  const std::string out =
      "\n[ONE] -> 000\n" + k2HD + Listing(one) + "\n[TWO] -> 001\n" + k2HD + Listing(two);
  Tree written = Files({links.begin(), links.end() - 1}), flat = Files(two),
       perImage = Files(two, "001");
  written.merge(Tree{{"keep", "<dir>"}, {"keep/other", "o"}});
  written["disk"] = written["HARDD"] = AsString(linksD88);
  Tree readOnly = flat;
  readOnly.merge(Files(one));
  flat["LONG"] = AsString(d88);
  flat["DISK"] = Units(17, 17);
  // A folder that is a link could lead anywhere: image 0 is not written.
  Tree linked = perImage;
  linked.merge(Tree{{"000", "<link>"}, {"far", "<dir>"}, {"far/away", "<dir>"}});
  perImage.merge(Tree{{"000", "<dir>"}, {"000/DISK", AsString(d88)}, {"000/LONG", Units(16, 16)}});
  perImage["VIA"] = "<link>";
  // Renamed while the run waits on a full pipe: 5 listings of 20 KiB each
  // cannot all fit, so later images start after the rename.
  Entries many;
  for (int i = 0; i < 512; ++i) many.emplace_back("F" + std::to_string(i), 16 + i, 16 + i);
  std::string manyOut;
  Tree moved = {{"moved", "<dir>"}, {"run", "<dir>"}};
  for (const std::string folder : {"000", "001", "002", "003", "004"}) {
    manyOut += "\n[MANY] -> " + folder + "\n" + k2HD + Listing(many);
    moved.merge(Files(many, "moved/" + folder));
  }
  const std::string rename =
      "mkdir run && cd run && { TOOL; echo $? >../status; } | (IFS= read -r first; cd .. && "
      "mv run moved && mkdir run && echo \"$first\" && cat); exit $(cat ../status && rm ../status)";
  // Deeper than PATH_MAX: no path of the start folder is ever needed.
  const std::string deep =
      "d=$(printf %0200d 0) && top=$PWD && for i in $(seq 25); do mkdir $d && cd -P $d || exit 9; "
      "done && TOOL; s=$?; mv 000 001 \"$top\"; cd \"$top\" && rm -rf $d; exit $s";
  const Tree onlyD88 = {{"disk", AsString(d88)}};
  Tree deepFiles = Files(one, "000");
  deepFiles.merge(Files(two, "001"));
  // Every stat of a run fails in turn, located from a traced run: whatever
  // cannot be looked at is left alone, and the D88 file, named like an
  // entry, stays whole. Then a plain run, its listing into a file that is
  // an entry's name too.
  const Entries longF0 = {{"LONG", 16, 16}, {"F0", 17, 17}};
  const Bytes longD88 = BuildD88({PatternImage("S", longF0)});
  const std::string statsFail =
      "export ASAN_OPTIONS=$ASAN_OPTIONS:detect_leaks=0; cp LONG ../pristine && strace -qq -e trace=%%stat -o ../trace TOOL >F0; "
      "n=$(grep -c . ../trace); k=0; while [ $k -lt $n ]; do k=$((k + 1)); "
      "strace -qq -o /dev/null -e inject=%%stat:error=EIO:when=$k TOOL >F0; "
      "cmp -s LONG ../pristine || exit 9; done; TOOL >F0";
  const Tree longFiles = {{"LONG", AsString(longD88)}, {"F0", k2HD + Listing(longF0)}};
  const std::string whereOutputGoes = Refused(0, "LONG", isD88) +
                                      Refused(1, "F0", "is where standard output goes, not written");
  // In a folder others may write whose sticky bit keeps what is theirs,
  // an image folder someone else made is not entered.
  Tree planted = Files(two, "shared/001");
  planted.merge(Tree{{"shared", "<dir>"}, {"shared/000", "<dir>"}});
  // clang-format off
  RunCases({
      {.what = "links, a FIFO and the D88 file", .d88 = linksD88, .args = "D88 -d",
       .out = k2HD + Listing(links), .err = Refused(5, "HARDD", isD88), .status = 1,
       .files = written, .shell = makeLinks, .d88At = "disk", .posixOnly = true},
      {.what = "a read-only file", .d88 = d88, .args = "D88 -d", .out = flatOut, .files = readOnly,
       .shell = "printf x >DISK && chmod a-w DISK && TOOL"},
      {.what = "an image directory that is a link", .d88 = d88,
       .out = "\n[TWO] -> 001\n" + k2HD + Listing(two),
       .err = "d88extract: cannot enter directory 000; image 0 skipped\n", .status = 1,
       .files = linked, .shell = "mkdir -p far/away && ln -s far/away 000 && TOOL"},
      {.what = "the D88 file named like an entry", .d88 = d88, .args = "D88 -d", .out = flatOut,
       .err = Refused(0, "LONG", isD88), .status = 1, .files = flat, .d88At = "LONG"},
      {.what = "the D88 file in an image directory, through a link", .d88 = d88, .args = "VIA",
       .out = out, .err = Refused(1, "DISK", isD88), .status = 1, .files = perImage,
       .shell = "ln -s 000/DISK VIA && TOOL", .d88At = "000/DISK"},
      {.what = "the start folder renamed",
       .d88 = BuildD88(std::vector(5, PatternImage("MANY", many))), .out = manyOut, .files = moved,
       .shell = rename},
      {.what = "the start folder deeper than PATH_MAX", .d88 = d88, .out = out, .files = deepFiles,
       .shell = deep, .posixOnly = true},
      {.what = "the start folder removed", .d88 = d88,
       .err = "d88extract: cannot tell the current directory\n", .status = 1,
       .shell = "mkdir gone && cd gone && rmdir ../gone && TOOL", .posixOnly = true},
      {.what = "standard output on the D88 file", .d88 = d88, .args = "D88 -d",
       .err = "d88extract: standard output is the D88 file\n", .status = 1, .files = onlyD88,
       .shell = "TOOL 1<>disk", .d88At = "disk"},
      {.what = "standard error on the D88 file", .d88 = d88, .args = "D88 -d",
       .out = "d88extract: standard error is the D88 file\n", .status = 1, .files = onlyD88,
       .shell = "TOOL 2<>disk", .d88At = "disk"},
      {.what = "both standard streams on the D88 file", .d88 = d88, .args = "D88 -d", .status = 1,
       .files = onlyD88, .shell = "TOOL 1<>disk 2<>disk", .d88At = "disk"},
      {.what = "every stat failing in turn", .d88 = longD88, .args = "D88 -d",
       .err = whereOutputGoes, .status = 1, .files = longFiles, .shell = statsFail,
       .d88At = "LONG", .posixOnly = true},
  });
  if (getuid() == 0 && !TargetIsWindows()) {
    // clang-format off
    RunCases({{.what = "a folder another user planted", .d88 = d88,
               .out = "\n[TWO] -> 001\n" + k2HD + Listing(two),
               .err = "d88extract: cannot enter directory 000; image 0 skipped\n", .status = 1,
               .files = planted,
               .shell = "mkdir -m 1777 shared && mkdir shared/000 && chown 65534 shared/000 && "
                        "cd shared && TOOL"}});
    // clang-format on
  }
  // clang-format on
}

TEST(SafetyTest, FailuresAreReportedAndTheRunGoesOn) {
  const Entries one = {{"BIG", 16, 31}, {"SMALL", 32, 32}}, two = {{"LATER", 40, 40}};
  const Bytes d88 = BuildD88({PatternImage("ONE", one), PatternImage("TWO", two)});
  const std::string listing = k2HD + Listing(one) + k2HD + Listing(two);
  const std::string lost = "d88extract: cannot write to standard output\n";
  const std::string cannotRead = "d88extract: cannot read the D88 file\n";
  Tree all = Files(one);
  all.merge(Files(two));
  Tree cut = all, withD88 = all, fifo = {{"fifo", "<other>"}}, perImageAll = Files(one, "000");
  perImageAll.merge(Files(two, "001"));
  cut.erase("BIG");  // not written means not there
  withD88["disk"] = AsString(d88);
  Tree firstImage = Files(one, "000");
  firstImage.merge(Tree{{"001", "<dir>"}, {"disk", AsString(d88)}});
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  close(ends[0]);  // nobody reads: every write to the pipe fails
  const std::string closedPipe = "TOOL >&" + std::to_string(ends[1]);
  // LeakSanitizer, where built in, cannot run under ptrace.
  const std::string traced = "ASAN_OPTIONS=$ASAN_OPTIONS:detect_leaks=0 strace -qq -o /dev/null ";
  // Reads of the D88 file fail where they cover a byte: of image 1's header,
  // which the scan reads, or of its track 77, over half a megabyte from that
  // header and from the end of the file, which only its loading reads.
  const auto failAt = [](size_t position) {
    return "LD_PRELOAD=" FAILING_READS " D88_FAIL_FILE=\"$PWD/disk\" D88_FAIL_AT=" +
           std::to_string(position) + " TOOL";
  };
  const size_t imageOne = d88build::BuildImage(PatternImage("ONE", one)).size();
  // Existing files are replaced: by a temporary file renamed over them once
  // whole, so a write that fails leaves the old file (located from a traced
  // run: the first write after the temporary file's creation); and SIGTERM
  // at each call that creates a file (the run ends by it) leaves every name
  // old or whole and new, and no temporary file. Then a plain run.
  const std::string old = "for f in BIG SMALL LATER; do printf old >$f; done; ";
  const std::string fullDisk =
      "printf old >SMALL; strace -qq -o ../trace -e trace=openat,write TOOL >/dev/null; n=$(awk "
      "'/^write\\(/ {w++} /d88extract-.*O_CREAT/ {t = 1; next} t && /^write\\(/ {print w; exit}' "
      "../trace); rm BIG LATER; printf old >SMALL; " + traced + "-e inject=write:error=ENOSPC:when=$n TOOL";
  const std::string terms =
      "export ASAN_OPTIONS=$ASAN_OPTIONS:detect_leaks=0; " + old +
      "strace -qq -o ../trace -e trace=openat TOOL >/dev/null && mkdir ../new && cp BIG SMALL "
      "LATER ../new && for k in $(grep -n O_CREAT ../trace | cut -d: -f1); do " + old +
      "strace -qq -o /dev/null -e inject=openat:signal=SIGTERM:when=$k TOOL >/dev/null; "
      "[ $? = 143 ] || exit 8; for n in BIG SMALL LATER; do cmp -s $n ../new/$n || "
      "[ \"$(cat $n)\" = old ] || exit 9; done; ! ls -a | grep -q d88extract- || exit 10; done; TOOL";
  Tree keptOld = all;
  keptOld["SMALL"] = "old";
  // The first of the listing's writes fails, the later ones work: the run
  // still ends with the message and status 1.
  const std::string failOneWrite = traced +
                                   "-P \"$PWD/listing\" -e inject=write:error=EIO:when=1 "
                                   "TOOL >listing; s=$?; rm listing; exit $s";
  Entries many;
  for (int i = 0; i < 150; ++i) many.emplace_back("F" + std::to_string(i), 16 + i, 16 + i);
  // Without the powers that override permissions, as root too: a name in a
  // folder that takes no changes, on a file that could be opened; an image
  // folder that takes no names.
  const std::string drop =
      "drop=; [ \"$(id -u)\" != 0 ] || drop='setpriv --bounding-set -dac_override,-dac_read_search'"
      "; ";
  const std::string locked = drop + "printf x >DISK && chmod 555 . && $drop TOOL; s=$?; chmod 755 .; exit $s";
  const std::string lockedFolder = drop + "mkdir -m 555 000 && $drop TOOL";
  Tree skipped = Files(two, "001");
  skipped["000"] = "<dir>";
  // The fstat of standard output, located from a traced run elsewhere, fails.
  const std::string outputUnknown =
      traced + "-o ../trace -e trace=%%stat TOOL -d >/dev/null; n=$(grep -n 'fstatat(1, \"\"' "
      "../trace | head -n 1 | cut -d: -f1); " + traced + "-e inject=%%stat:error=EIO:when=$n TOOL";
  // clang-format off
  RunCases({
      {.what = "a closed pipe", .d88 = d88, .args = "D88 -d", .err = lost, .status = 1,
       .files = all, .shell = closedPipe},
      {.what = "a closed standard output, no /dev/null", .d88 = d88, .args = "D88 -d", .err = lost,
       .status = 1, .files = all,
       .shell = traced + "-P /dev/null -e inject=openat:error=ENFILE TOOL >&-"},
      {.what = "a closed standard error", .d88 = BuildD88({PatternImage("E", {{"A/B", 16, 16}})}),
       .args = "D88 -d", .out = k2HD + Listing({{"A/B", 16, 16}}), .status = 1,
       .shell = "TOOL 2>&-"},
      {.what = "a closed stream that cannot be held", .d88 = d88, .args = "D88 -d",
       .err = "d88extract: cannot hold a closed standard stream\n", .status = 1,
       .shell = traced + "-e inject=pipe,pipe2:error=EMFILE TOOL <&-", .posixOnly = true},
      {.what = "standard output that cannot be looked at", .d88 = d88,
       .err = "d88extract: cannot tell whether standard output is the D88 file\n", .status = 1,
       .shell = "mkdir ../t && cd ../t && " + outputUnknown, .posixOnly = true},
      {.what = "an image folder that takes no names", .d88 = d88,
       .out = "\n[TWO] -> 001\n" + k2HD + Listing(two),
       .err = "d88extract: cannot enter directory 000; image 0 skipped\n", .status = 1,
       .files = skipped, .shell = lockedFolder, .posixOnly = true},
      {.what = "faccessat refused by a system-call filter", .d88 = d88,
       .out = "\n[ONE] -> 000\n" + k2HD + Listing(one) + "\n[TWO] -> 001\n" + k2HD + Listing(two),
       .files = perImageAll, .shell = traced + "-e inject=faccessat2,faccessat:error=EPERM TOOL",
       .posixOnly = true},
      {.what = "a file-size limit", .d88 = d88, .args = "D88 -d", .out = listing,
       .err = Refused(0, "BIG", "cannot write the file"), .status = 1, .files = cut,
       .shell = "prlimit --fsize=4096 TOOL", .posixOnly = true},
      {.what = "a FIFO", .d88 = d88, .args = "fifo", .err = kOpenFailed, .status = 1,
       .files = fifo, .shell = "mkfifo fifo && TOOL"},
      {.what = "/dev/stdin from a file", .d88 = d88, .args = "/dev/stdin -d", .out = listing,
       .files = withD88, .shell = "TOOL <disk", .d88At = "disk", .posixOnly = true},
      {.what = "a write to standard output fails once", .d88 = BuildD88({PatternImage("M", many)}),
       .args = "D88 -d", .err = lost, .status = 1, .files = Files(many), .shell = failOneWrite},
      {.what = "a name that cannot be removed", .d88 = BuildD88({PatternImage("L", {{"DISK", 16, 16}})}),
       .args = "D88 -d", .out = k2HD + "DISK    START:0010  END:0010  SIZE:0400\n",
       .err = Refused(0, "DISK", "cannot write the file"), .status = 1, .files = {{"DISK", "x"}},
       .shell = locked, .posixOnly = true},
      {.what = "a replacement that cannot be written whole", .d88 = d88, .args = "D88 -d",
       .out = listing, .err = Refused(1, "SMALL", "cannot write the file"), .status = 1,
       .files = keptOld, .shell = fullDisk, .posixOnly = true},
      {.what = "SIGTERM at each file's creation", .d88 = d88, .args = "D88 -d", .out = listing,
       .files = all, .shell = terms, .posixOnly = true},
      {.what = "interrupted reads", .d88 = d88, .args = "D88 -d", .out = listing, .files = withD88,
       .shell = traced + "-P \"$PWD/disk\" -e inject=pread64:error=EINTR:when=1+2 TOOL",
       .d88At = "disk"},
      {.what = "a read error in the scan", .d88 = d88, .err = cannotRead, .status = 1,
       .files = {{"disk", AsString(d88)}}, .shell = failAt(imageOne + 0x1C), .d88At = "disk"},
      {.what = "a read error loading image 1", .d88 = d88,
       .out = "\n[ONE] -> 000\n" + k2HD + Listing(one) + "\n[TWO] -> 001\n" + k2HD,
       .err = cannotRead, .status = 1, .files = firstImage,
       .shell = failAt(imageOne + 688 + 77 * 8 * (16 + 1024) + 100), .d88At = "disk"},
  });
  // clang-format on
  close(ends[1]);
}

// What stands at a name is left alone unless it can be told from every
// protected file: an unknown identity protects everything. A file is its
// device (volume) and inode together.
TEST(SafetyTest, ExistingNamesAreJudgedByIdentity) {
  const FileIdentity unknown, a{true, 1, {5, 0}}, b{true, 1, {6, 0}}, c{true, 2, {7, 0}},
      noVolume{true, 0, {5, 0}}, elsewhere{true, 2, {5, 0}};
  const struct {
    FileIdentity existing;
    bool isDirectory;
    ProtectedFiles files;
    SaveResult verdict;
  } rows[] = {
      {b, false, {a}, SaveResult::kWritten},
      {elsewhere, false, {a}, SaveResult::kWritten},
      {a, false, {a}, SaveResult::kIsD88File},
      {noVolume, false, {a}, SaveResult::kIsD88File},  // a volume the system could not name
      {unknown, false, {a}, SaveResult::kNotWritten},
      {b, false, {unknown}, SaveResult::kNotWritten},
      {b, false, {a, b}, SaveResult::kIsStandardOutput},
      {c, false, {a, b, c}, SaveResult::kIsStandardError},
      {b, true, {a}, SaveResult::kNotWritten},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(JudgeExistingName(row.existing, row.isDirectory, row.files), row.verdict)
        << &row - rows;
  }
}

// Text from the image, and the tool's Japanese messages, as each stream
// shows it: raw bytes, masked where control bytes could act, decoded from
// Shift_JIS at a UTF-8 terminal. In-process, with the system's decoder and
// with one that maps byte 0x80 to U+0080, as Windows' code page 932 does.
TEST(SafetyTest, TextAsEachStreamShowsIt) {
  const auto windows = [](const char* bytes, int length, char32_t* character) {
    if (length == 1 && static_cast<unsigned char>(bytes[0]) == 0x80) return *character = 0x80, true;
    return DecodeCp932(bytes, length, character);
  };
  const DisplayMode raw, terminal{true, false}, utf8{true, true};
  const Field output = Field::kOutput, message = Field::kMessage;
  const struct {
    std::string bytes;
    DisplayMode mode;
    Field field;
    std::string shown;
    size_t pad = 0;
    DecodeCharacter decode = DecodeCp932;
  } rows[] = {
      {"A\rB\x83\x5C", raw, output, "A\rB\x83\x5C"},  // pipes and files: the bytes
      {"A\rB\x83\x5C", terminal, output, "A?B\x83\x5C ", 6},
      {"A\rB\x83\x5C", raw, message, "A\\x0DB\x83\x5C"},
      {"\x83\x51\x81\x5B\x83\x80", utf8, output, "\xE3\x82\xB2\xE3\x83\xBC\xE3\x83\xA0", 6},
      {"\xB1\xB2", utf8, output, "\xEF\xBD\xB1\xEF\xBD\xB2    ", 6},  // half-width kana
      {"\x80" "A\x83", utf8, output, "?A?"},  // no such byte; a lone lead byte
      {"\x80" "A\x83", utf8, message, "\\x80A\\x83"},
      {"\x81\x0A\x01\x7F", utf8, output, "????"},  // a lead byte before a control
      {"\x80\x01\x7F", utf8, message, "\\x80\\x01\\x7F", 0, windows},  // C1, C0, DEL
      {"\x80", utf8, output, "?", 0, windows},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(ToDisplay(row.bytes, row.mode, row.field, row.decode, row.pad), row.shown)
        << &row - rows;
  }
  for (const auto& [name, utf8Name] : {std::pair{"C.UTF-8", true}, {"ja_JP.utf8", true},
                                       {"ja_JP.SJIS", false}, {"C", false}, {"UTF-8", false}}) {
    EXPECT_EQ(LocaleNamesUtf8(name), utf8Name) << name;
  }
}

// End to end: names go raw into files and pipes; at a terminal under LC_ALL=C
// their control bytes show as "?"; under C.UTF-8 they are decoded too, and so
// is the 2HD message; messages into a file escape control bytes.
TEST(SafetyTest, ControlBytesAreShownSafely) {
  if (TargetIsWindows()) GTEST_SKIP() << "POSIX only";
  // A pseudo-terminal, held open here, and raw, so that the bytes read back
  // are the bytes written.
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_TRUE(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
  const std::string terminal = ptsname(master);
  const int slave = open(terminal.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_TRUE(slave >= 0 && fcntl(master, F_SETFL, O_NONBLOCK) == 0);
  const Entries entries = {{"X\rY\x7F", 16, 16}, {"\x1B]\x7F;\x83\x40", 1231, 1232}};
  const std::string name =
      "A B\x1B[2JC\x83\x5C"
      "123456";  // all 16 bytes, a space kept
  const std::string out = "\n[" + name + "] -> 000\n" + k2HD + Listing(entries);
  const std::string err =
      Refused(1, "\\x1B]\\x7F;\x83\x40", "points outside the disk, not written");
  const Tree files = Files({entries[0]}, "000");
  // clang-format off
  ToolCase c{.what = "to a file", .d88 = BuildD88({PatternImage(name, entries)}), .out = out,
             .err = err, .status = 1, .files = files};
  // clang-format on
  RunCases({c});
  const std::string listed = "  START:0010  END:0010  SIZE:0400\n";
  const std::string past = "  START:04cf  END:04d0  SIZE:0800\n";
  for (const auto& [locale, shown] :
       {std::pair{std::string("C"), "\n[A B?[2JC\x83\x5C" "123456] -> 000\n" + k2HD +
                                        "X?Y?  " + listed + "?]?;\x83\x40" + past},
        {"C.UTF-8", "\n[A B?[2JC\xE3\x82\xBD" "123456] -> 000\n2HD\xE3\x83\xA1\xE3\x83\x87"
                    "\xE3\x82\xA3\xE3\x82\xA2\xE3\x82\x92\xE8\xAA\x8D\xE8\xAD\x98\xE3\x81\x97"
                    "\xE3\x81\xBE\xE3\x81\x97\xE3\x81\x9F.\nX?Y?  " + listed +
                    "?]?;\xE3\x82\xA1" + past}}) {
    c.what = "to a terminal, LC_ALL=" + locale;
    c.out = "";
    c.shell = "stty raw <" + terminal + " && LC_ALL=" + locale + " TOOL >" + terminal;
    RunCases({c});
    std::string read(4096, '\0');
    read.resize(static_cast<size_t>(std::max<ssize_t>(0, ::read(master, read.data(), 4096))));
    EXPECT_EQ(read, shown) << locale;
  }
  close(slave);
  close(master);
}

}  // namespace
