// The command line as a value: what the run is asked to do. Parsing prints
// nothing and touches no file.
//
//   d88extract [--list | -l] [-C DIR] D88FILE [-d]
//   d88extract --help | -h | --version
//
// Options come first, each at most once, and are recognised only there: a
// command line that begins with anything else keeps the original rules
// (the first argument is the D88 file whatever it looks like, one to three
// arguments, "-d" only as the second of exactly two; --help, -h and
// --version only alone). After options come exactly D88FILE or D88FILE -d.
// Anything else asks for the usage message.
#pragma once

enum class Action { kUsage, kHelp, kVersion, kList, kExtract };

struct Options {
  Action action = Action::kUsage;
  const char* d88Path = nullptr;        // kList and kExtract
  bool perImageFolders = true;          // false with "-d"
  const char* outputFolder = nullptr;   // -C DIR; null: the current directory
};

// `argv[0..argc-1]`, the program name first; the strings must outlive the
// result.
Options ParseCommandLine(int argc, char** argv);
