#include "tests/test_support.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

// Appends ` 'text'` to `command`, quoted for the shell. Appending rather
// than "literal" + std::string also keeps g++ 12 at -O3 from a false
// -Wrestrict warning.
void AppendQuoted(std::string* command, const std::string& text) {
  *command += " '";
  for (char c : text) {
    if (c == '\'') {
      *command += "'\\''";
    } else {
      *command += c;
    }
  }
  *command += "'";
}

// The command under test: D88EXTRACT_UNDER_TEST (a command prefix, such as an
// emulator and a binary) or the binary of this build.
std::string ToolCommand() {
  const char* override = std::getenv("D88EXTRACT_UNDER_TEST");
  if (override != nullptr && *override != '\0') return override;
  std::string quoted;
  AppendQuoted(&quoted, D88EXTRACT_BINARY);
  return quoted;
}

}  // namespace

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  path_ = fs::temp_directory_path() /
          ("d88extract-test-" + std::to_string(getpid()) + "-" + std::to_string(counter++));
  fs::remove_all(path_);
  fs::create_directories(path_);
}

TempDir::~TempDir() {
  std::error_code ignored;
  // The tool may leave a file in a directory named like one of its own.
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(path_, ignored);
}

bool TargetIsWindows() {
  const char* target = std::getenv("D88EXTRACT_TARGET");
  return target != nullptr && std::string(target) == "windows";
}

std::string ToolProgramName() {
  const char* name = std::getenv("D88EXTRACT_PROGRAM_NAME");
  if (name != nullptr) return name;
  return D88EXTRACT_BINARY;
}

ToolResult RunTool(const fs::path& workDir, const std::vector<std::string>& args,
                   const RunOptions& options) {
  const fs::path outPath = workDir.parent_path() / "captured-stdout";
  const fs::path errPath = workDir.parent_path() / "captured-stderr";
  std::string command = "cd";
  AppendQuoted(&command, workDir.string());
  command += " && ";
  command += options.before;
  // A tool that hangs (on a FIFO, say) fails its test instead of the suite.
  command += "timeout 60 ";
  command += ToolCommand();
  for (const std::string& arg : args) AppendQuoted(&command, arg);
  command += " " + options.stdinRedirect + " ";
  if (options.stdoutRedirect.empty()) {
    command += ">";
    AppendQuoted(&command, outPath.string());
  } else {
    command += options.stdoutRedirect;
  }
  command += " 2>";
  AppendQuoted(&command, errPath.string());
  const int raw = std::system(command.c_str());
  ToolResult result;
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  if (options.stdoutRedirect.empty()) result.out = ReadFileText(outPath);
  result.err = ReadFileText(errPath);
  fs::remove(outPath);
  fs::remove(errPath);
  return result;
}

std::map<std::string, std::string> ReadTree(const fs::path& root) {
  std::map<std::string, std::string> tree;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const std::string name = entry.path().lexically_relative(root).generic_string();
    if (entry.is_symlink()) {
      tree[name] = "<link>";  // not followed
    } else {
      tree[name] = entry.is_directory() ? "<dir>" : ReadFileText(entry.path());
    }
  }
  return tree;
}

std::string DiffTrees(const std::map<std::string, std::string>& expected,
                      const std::map<std::string, std::string>& actual) {
  std::string diff;
  for (const auto& [name, contents] : expected) {
    const auto found = actual.find(name);
    if (found == actual.end()) {
      diff += "missing: " + name + "\n";
    } else if (found->second != contents) {
      size_t at = 0;
      while (at < contents.size() && at < found->second.size() &&
             contents[at] == found->second[at]) {
        ++at;
      }
      diff += "differs: " + name + " (" + std::to_string(found->second.size()) + " bytes, " +
              std::to_string(contents.size()) + " expected, first difference at " +
              std::to_string(at) + ")\n";
    }
  }
  for (const auto& [name, contents] : actual) {
    if (expected.count(name) == 0) diff += "unexpected: " + name + "\n";
  }
  return diff;
}

std::string ReadFileText(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream contents;
  contents << file.rdbuf();
  return contents.str();
}

void WriteFileOrDie(const fs::path& path, const d88build::Bytes& bytes) {
  ASSERT_TRUE(d88build::WriteFileBytes(path.string(), bytes)) << path;
}

std::string AsString(const d88build::Bytes& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

d88build::Disk EmptyDisk(const std::string& name) {
  d88build::Disk disk;
  disk.name = name;
  d88build::EndDirectory(&disk, 0);
  return disk;
}
