#include "tests/test_support.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>

namespace {

std::string Quoted(const std::string& text) {
  std::string quoted = " '";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted += "'";
}

// The entries that differ between two trees; empty when they are equal.
std::string DiffTrees(const Tree& expected, Tree actual) {
  std::string diff;
  for (const auto& [name, contents] : expected) {
    if (actual.count(name) == 0 || actual[name] != contents) diff += " differs: " + name;
    actual.erase(name);
  }
  for (const auto& entry : actual) diff += " unexpected: " + entry.first;
  return diff;
}

}  // namespace

TempDir::TempDir() {
  std::string name = (fs::temp_directory_path() / "d88extract-test-XXXXXX").string();
  path = mkdtemp(name.data());
}

std::string Units(int first, int last) {
  std::string text;
  for (int unit = first; unit <= last; ++unit) {
    for (int i = 0; i < 1024; ++i) text += static_cast<char>(unit * 7 + i / 4);
  }
  return text;
}

d88build::Image PatternImage(const std::string& name, const Entries& entries) {
  d88build::Disk disk;
  disk.name = name;
  const std::string units = Units(0, 1231);
  disk.bytes.assign(units.begin(), units.end());
  std::fill(disk.bytes.begin() + 8192, disk.bytes.begin() + 16384, 0);
  int index = 0;
  for (const auto& [entryName, first, last] : entries) {
    d88build::SetDirectoryEntry(&disk, index++, entryName, static_cast<uint16_t>(first),
                                static_cast<uint16_t>(last));
  }
  if (index < 512) d88build::EndDirectory(&disk, index);
  return d88build::ImageFromDisk(disk);
}

std::string Listing(const Entries& entries) {
  std::string text;
  for (const auto& [name, first, last] : entries) {
    char units[64];
    std::snprintf(units, sizeof units, "  START:%04x  END:%04x  SIZE:%04x\n", first, last,
                  static_cast<unsigned>((last - first + 1) * 1024));
    text += name + std::string(name.size() < 6 ? 6 - name.size() : 0, ' ') + units;
  }
  return text;
}

Tree Files(const Entries& entries, const std::string& folder) {
  Tree files;
  if (!folder.empty()) files[folder] = "<dir>";
  for (const auto& [name, first, last] : entries) {
    files[folder.empty() ? name : folder + "/" + name] = Units(first, last);
  }
  return files;
}

std::string PerImage(const std::string& name, const Entries& entries, const std::string& folder) {
  return "\n[" + name + "] -> " + folder + "\n" + k2HD + Listing(entries);
}

std::string Refused(int entry, const std::string& name, const std::string& why) {
  return "d88extract: image 0, entry " + std::to_string(entry) + " \"" + name + "\": " + why + "\n";
}

std::string AsString(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

void WriteFileOrDie(const fs::path& path, const Bytes& bytes) {
  ASSERT_TRUE(d88build::WriteFileBytes(path.string(), bytes)) << path;
}

bool TargetIsWindows() {
  const char* target = std::getenv("D88EXTRACT_TARGET");
  return target != nullptr && std::string(target) == "windows";
}

void RunCases(const std::vector<ToolCase>& cases) {
  const char* underTest = std::getenv("D88EXTRACT_UNDER_TEST");  // a command: wine and the .exe
  const bool other = underTest != nullptr && *underTest != '\0';
  const std::string tool = other ? " " + std::string(underTest) : Quoted(D88EXTRACT_BINARY);
  for (const ToolCase& c : cases) {
    if (c.posixOnly && TargetIsWindows()) continue;
    SCOPED_TRACE(c.what);
    TempDir dir;
    const fs::path work = dir.path / "work";
    const fs::path d88 = c.d88At.empty() ? dir.path / "disk.d88" : work / c.d88At;
    fs::create_directories(c.d88At.empty() ? work : d88.parent_path());
    WriteFileOrDie(d88, c.d88);
    std::string command = tool;
    std::istringstream args(c.args);
    for (std::string arg; args >> arg;) {
      command += Quoted(arg != "D88" ? arg : c.d88At.empty() ? d88.string() : c.d88At);
    }
    // Standard output is the whole shell text's, so a pipe after TOOL counts.
    std::string shell = c.shell;
    for (size_t at; (at = shell.find("PROGRAM")) != std::string::npos;) shell.replace(at, 7, tool);
    command += " 2>" + Quoted((dir.path / "err").string());
    for (size_t at; (at = shell.find("TOOL")) != std::string::npos;) shell.replace(at, 4, command);
    shell = "timeout 60 sh -c" + Quoted("cd" + Quoted(work.string()) + " && " + shell) + " >" +
            Quoted((dir.path / "out").string());
    const int status = std::system(shell.c_str());
    EXPECT_EQ(ReadFileText(dir.path / "out"), c.out);
    EXPECT_EQ(ReadFileText(dir.path / "err"), c.err);
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, c.status);
    EXPECT_EQ(DiffTrees(c.files, ReadTree(work)), "");
  }
}
