// The built tool end to end: command line, messages byte for byte, exit
// statuses and the directories it makes.
#include "extract/run.h"

#include <gtest/gtest.h>

#include "image/d88_file.h"
#include "tests/test_support.h"

namespace {

using d88build::Bytes;

std::string FromHex(std::initializer_list<int> bytes) {
  std::string text;
  for (int byte : bytes) text += static_cast<char>(byte);
  return text;
}

const std::string kOpenFailed = FromHex(
    {0x83, 0x74, 0x83, 0x40, 0x83, 0x43, 0x83, 0x8B, 0x82, 0xF0, 0x83, 0x49, 0x81, 0x5B, 0x83,
     0x76, 0x83, 0x93, 0x82, 0xC5, 0x82, 0xAB, 0x82, 0xDC, 0x82, 0xB9, 0x82, 0xF1, 0x2E, 0x0A});
const std::string k2HD =
    FromHex({0x32, 0x48, 0x44, 0x83, 0x81, 0x83, 0x66, 0x83, 0x42, 0x83, 0x41, 0x82, 0xF0, 0x94,
             0x46, 0x8E, 0xAF, 0x82, 0xB5, 0x82, 0xDC, 0x82, 0xB5, 0x82, 0xBD, 0x2E, 0x0A});
const std::string kUnsupported =
    FromHex({0x96, 0xA2, 0x91, 0xCE, 0x89, 0x9E, 0x82, 0xCC, 0x83, 0x66, 0x83, 0x42,
             0x83, 0x58, 0x83, 0x4E, 0x83, 0x43, 0x83, 0x81, 0x81, 0x5B, 0x83, 0x57,
             0x8C, 0x60, 0x8E, 0xAE, 0x82, 0xC5, 0x82, 0xB7, 0x2E, 0x0A});

class RunTest : public ToolTest {
 protected:
  // Two 2HD disks with empty directories.
  void WriteTwoEmptyDisks() {
    WriteImages({d88build::ImageFromDisk(EmptyDisk("DISK A")),
                 d88build::ImageFromDisk(EmptyDisk("DISK B"))});
  }
  ToolResult Run(const std::vector<std::string>& args) { return RunTool(work(), args); }
};

TEST_F(RunTest, WrongArgumentCountPrintsUsage) {
  const std::string usage = "Usage: " + ToolProgramName() + " [d88file]\n";
  for (const auto& args :
       {std::vector<std::string>{}, std::vector<std::string>{"a.d88", "b", "c", "d"}}) {
    const ToolResult result = Run(args);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, usage);
    EXPECT_EQ(DiffTrees(Tree{}, ReadTree(work())), "");
  }
}

TEST(RunExtractorTest, EmptyArgumentVectorNamesTheTool) {
  char* argv[] = {nullptr};
  D88File d88;
  testing::internal::CaptureStderr();
  const int status = RunExtractor(0, argv, d88);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Usage: d88extract [d88file]\n");
  EXPECT_EQ(status, 1);
}

TEST_F(RunTest, UnopenablePathFails) {
  fs::create_directory(dir.path() / "a-directory");
  for (const std::string& path :
       {(dir.path() / "missing.d88").string(), (dir.path() / "a-directory").string()}) {
    const ToolResult result = Run({path});
    EXPECT_EQ(result.status, 1) << path;
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, kOpenFailed);
    EXPECT_EQ(DiffTrees(Tree{}, ReadTree(work())), "");
  }
}

TEST_F(RunTest, FileWithoutWholeHeaderDoesNothing) {
  WriteFileOrDie(d88Path(), Bytes(687, 0x20));
  const ToolResult result = Run({d88Path()});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(DiffTrees(Tree{}, ReadTree(work())), "");
}

TEST_F(RunTest, MakesOneDirectoryPerImage) {
  WriteTwoEmptyDisks();
  const std::string perImage = "\n[DISK A] -> 000\n" + k2HD + "\n[DISK B] -> 001\n" + k2HD;
  // Only exactly "PATH -d" turns the directories off.
  for (const auto& extra : {std::vector<std::string>{}, std::vector<std::string>{"-D"},
                            std::vector<std::string>{"x", "-d"}}) {
    std::vector<std::string> args = {d88Path()};
    args.insert(args.end(), extra.begin(), extra.end());
    const ToolResult result = Run(args);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, perImage);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(DiffTrees((Tree{{"000", "<dir>"}, {"001", "<dir>"}}), ReadTree(work())), "");
    fs::remove_all(work() / "000");
    fs::remove_all(work() / "001");
  }

  const ToolResult flat = Run({d88Path(), "-d"});
  EXPECT_EQ(flat.status, 0);
  EXPECT_EQ(flat.out, k2HD + k2HD);
  EXPECT_EQ(flat.err, "");
  EXPECT_EQ(DiffTrees(Tree{}, ReadTree(work())), "");
}

// The path is opened by its own characters: on Windows none is lost to the
// system's code page or mapped to a look-alike (a fullwidth letter to its
// ASCII twin, "é" to "e"), whose file may stand beside it.
TEST_F(RunTest, PathIsOpenedWhateverItsCharacters) {
  const fs::path japanese = dir.path() / "\xE6\x97\xA5\xE6\x9C\xAC";  // Japanese, in UTF-8
  fs::create_directory(japanese);
  const struct {
    fs::path path;
    fs::path lookAlike;
  } cases[] = {
      {japanese / "disk.d88", ""},
      {dir.path() / "\xEF\xBD\x84isk.d88", dir.path() / "disk.d88"},  // fullwidth d
      {dir.path() / "caf\xC3\xA9.d88", dir.path() / "cafe.d88"},
  };
  for (const auto& c : cases) {
    WriteFileOrDie(c.path, d88build::BuildD88({d88build::ImageFromDisk(EmptyDisk("NAMED"))}));
    if (!c.lookAlike.empty()) {
      WriteFileOrDie(c.lookAlike,
                     d88build::BuildD88({d88build::ImageFromDisk(EmptyDisk("LOOK-ALIKE"))}));
    }
    const ToolResult result = Run({c.path.string()});
    EXPECT_EQ(result.status, 0) << c.path;
    EXPECT_EQ(result.out, "\n[NAMED] -> 000\n" + k2HD);
    EXPECT_EQ(result.err, "");
    fs::remove_all(work() / "000");
  }
}

TEST_F(RunTest, LoneDashDIsThePath) {
  const Bytes file = d88build::BuildD88({d88build::ImageFromDisk(EmptyDisk("DASH"))});
  WriteFileOrDie(work() / "-d", file);
  const ToolResult result = Run({"-d"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "\n[DASH] -> 000\n" + k2HD);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(DiffTrees((Tree{{"-d", AsString(file)}, {"000", "<dir>"}}), ReadTree(work())), "");
}

TEST_F(RunTest, ExistingDirectoryIsReused) {
  WriteTwoEmptyDisks();
  fs::create_directory(work() / "000");
  WriteFileOrDie(work() / "000" / "KEEP", {'k'});
  const ToolResult result = Run({d88Path()});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(
      DiffTrees((Tree{{"000", "<dir>"}, {"000/KEEP", "k"}, {"001", "<dir>"}}), ReadTree(work())),
      "");
}

// Writing image 0 anywhere but 000 could overwrite the user's files, so it is
// skipped; image 1 still goes into 001 of the same directory.
TEST_F(RunTest, DirectoryThatCannotBeEnteredSkipsItsImage) {
  WriteTwoEmptyDisks();
  WriteFileOrDie(work() / "000", {'x'});
  const ToolResult result = Run({d88Path()});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "\n[DISK B] -> 001\n" + k2HD);
  EXPECT_EQ(result.err, "d88extract: cannot enter directory 000; image 0 skipped\n");
  EXPECT_EQ(DiffTrees((Tree{{"000", "x"}, {"001", "<dir>"}}), ReadTree(work())), "");
}

TEST_F(RunTest, UnsupportedMediaEndsTheRun) {
  d88build::Image dd = d88build::ImageFromDisk(EmptyDisk("2DD"));
  dd.mediaType = 0x10;
  WriteImages({d88build::ImageFromDisk(EmptyDisk("GOOD")), dd,
               d88build::ImageFromDisk(EmptyDisk("LATER"))});
  const ToolResult result = Run({d88Path()});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "\n[GOOD] -> 000\n" + k2HD + "\n[2DD] -> 001\n");
  EXPECT_EQ(result.err, kUnsupported);
  EXPECT_EQ(DiffTrees((Tree{{"000", "<dir>"}, {"001", "<dir>"}}), ReadTree(work())), "");

  const ToolResult flat = Run({d88Path(), "-d"});
  EXPECT_EQ(flat.status, 1);
  EXPECT_EQ(flat.out, k2HD);
  EXPECT_EQ(flat.err, kUnsupported);
}

TEST_F(RunTest, LostStandardOutputFailsTheRun) {
  WriteTwoEmptyDisks();
  RunOptions toFullDisk;
  toFullDisk.stdoutRedirect = ">/dev/full";
  const ToolResult result = RunTool(work(), {d88Path()}, toFullDisk);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "d88extract: cannot write to standard output\n");
}

}  // namespace
