// Shared helpers of the tests: scratch directories, running the built tool,
// reading back what it wrote.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tools/d88_builder.h"

namespace fs = std::filesystem;

// A fresh directory under the system's temporary directory, removed with its
// contents when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

struct ToolResult {
  int status = -1;
  std::string out;
  std::string err;
};

// True when the command under test is the Windows build (run under wine):
// D88EXTRACT_TARGET=windows.
bool TargetIsWindows();

// How the command under test names itself in the usage message.
std::string ToolProgramName();

// Shell redirections around one run of the tool; each is raw shell text.
struct RunOptions {
  std::string before;          // runs first, e.g. "ulimit -f 8 && " or "cat F | "
  std::string stdinRedirect = "</dev/null";
  std::string stdoutRedirect;  // instead of the capture, e.g. ">/dev/full"
};

// Runs the tool with `args` in `workDir`, capturing standard output and
// standard error in files beside `workDir`. With a stdout redirection, `out`
// stays empty.
ToolResult RunTool(const fs::path& workDir, const std::vector<std::string>& args,
                   const RunOptions& options = {});

// Every entry below `root`: relative path -> file contents, "<dir>", or
// "<link>" for a symbolic link (not followed).
std::map<std::string, std::string> ReadTree(const fs::path& root);

// What differs between two trees from ReadTree, one short line per entry;
// empty when they are equal.
std::string DiffTrees(const std::map<std::string, std::string>& expected,
                      const std::map<std::string, std::string>& actual);

std::string ReadFileText(const fs::path& path);
void WriteFileOrDie(const fs::path& path, const d88build::Bytes& bytes);

std::string AsString(const d88build::Bytes& bytes);

using Tree = std::map<std::string, std::string>;

// End-to-end tests: the D88 file and the tool's captured output lie in a
// scratch directory beside `work()`, the empty directory the tool runs in.
class ToolTest : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directory(work()); }
  fs::path work() const { return dir.path() / "work"; }
  std::string d88Path() const { return (dir.path() / "disk.d88").string(); }
  void WriteImages(const std::vector<d88build::Image>& images) {
    WriteFileOrDie(d88Path(), d88build::BuildD88(images));
  }

  TempDir dir;
};

// A 2HD disk named `name` whose directory is empty (0xFF in entry 0).
d88build::Disk EmptyDisk(const std::string& name);
