// Shared by the tests: scratch folders, images of known units, end-to-end runs of the tool.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "tests/common/file_trees.h"
#include "tools/d88_builder.h"

namespace fs = std::filesystem;
using d88build::BuildD88;
using d88build::Bytes;

inline const std::string k2HD = "2HD\x83\x81\x83\x66\x83\x42\x83\x41\x82\xF0\x94\x46\x8E\xAF\x82"
                                "\xB5\x82\xDC\x82\xB5\x82\xBD.\n";
inline const std::string kOpenFailed = "\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xF0\x83\x49\x81"
    "\x5B\x83\x76\x83\x93\x82\xC5\x82\xAB\x82\xDC\x82\xB9\x82\xF1.\n";
inline const std::string kUnsupported = "\x96\xA2\x91\xCE\x89\x9E\x82\xCC\x83\x66\x83\x42\x83"
    "\x58\x83\x4E\x83\x43\x83\x81\x81\x5B\x83\x57\x8C\x60\x8E\xAE\x82\xC5\x82\xB7.\n";

// A fresh scratch directory, removed with its contents when the object goes.
struct TempDir {
  TempDir();
  ~TempDir() { fs::remove_all(path); }
  fs::path path;
};

// Units u of a test disk: 1024 bytes each that say which unit they are.
std::string Units(int first, int last);

// A 2HD image whose unit u holds Units(u), its directory `entries` {name, first, last}.
using Entries = std::vector<std::tuple<std::string, int, int>>;
d88build::Image PatternImage(const std::string& name, const Entries& entries = {});
// The listing lines of `entries`, and their files below `folder`.
std::string Listing(const Entries& entries);
Tree Files(const Entries& entries, const std::string& folder = "");
// An image's lines with per-image folders.
std::string PerImage(const std::string& name, const Entries& entries, const std::string& folder);
std::string Refused(int entry, const std::string& name, const std::string& why);
std::string AsString(const Bytes& bytes);
void WriteFileOrDie(const fs::path& path, const Bytes& bytes);

// strace for one command or a whole row (no LeakSanitizer under ptrace), and
// $drop: as root, without the powers that override permissions.
inline const std::string kNoLeaks = "export ASAN_OPTIONS=$ASAN_OPTIONS:detect_leaks=0; ";
inline const std::string kTraced = kNoLeaks + "strace -qq -o /dev/null ";
inline const std::string kDropPowers =
    "drop=; [ $(id -u) != 0 ] || drop='setpriv --bounding-set -dac_override,-dac_read_search'; ";

// Whether the program tested is the Windows build (D88EXTRACT_TARGET=windows).
bool TargetIsWindows();

// An end-to-end case: a D88 file, the arguments ("D88" is its path), and all
// the run gives; the D88 file lies beside its folder, or at `d88At` in it.
struct ToolCase {
  std::string what;
  Bytes d88;
  std::string args = "D88";
  std::string out, err;
  int status = 0;
  Tree files;
  // Shell text run there, its output captured: TOOL is the tool with its
  // arguments and standard error captured, PROGRAM the tool alone.
  std::string shell = "TOOL";
  std::string d88At = "";
  bool posixOnly = false;  // what wine cannot show: skipped against the Windows build
};

// Runs each case in a fresh folder and checks it; ends a hang in a minute.
void RunCases(const std::vector<ToolCase>& cases);
