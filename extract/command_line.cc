#include "extract/command_line.h"

#include <cstring>

namespace {

bool Is(const char* argument, const char* option) { return std::strcmp(argument, option) == 0; }

bool IsOption(const char* argument) {
  return Is(argument, "--list") || Is(argument, "-l") || Is(argument, "-C");
}

// The original rules, for a command line that begins with the D88 file.
Options ParseOriginal(int count, char** arguments) {
  Options options;
  if (count < 1 || count > 3) return options;
  if (count == 1 && (Is(arguments[0], "--help") || Is(arguments[0], "-h"))) {
    options.action = Action::kHelp;
  } else if (count == 1 && Is(arguments[0], "--version")) {
    options.action = Action::kVersion;
  } else {
    options.action = Action::kExtract;
    options.d88Path = arguments[0];
    // Only "PATH -d" writes into one folder; a third argument keeps
    // per-image folders on.
    options.perImageFolders = !(count == 2 && Is(arguments[1], "-d"));
  }
  return options;
}

}  // namespace

Options ParseCommandLine(int argc, char** argv) {
  const int count = argc - 1;
  char** const arguments = argv + 1;
  if (count < 1 || !IsOption(arguments[0])) return ParseOriginal(count, arguments);
  Options options;
  bool list = false;
  int at = 0;
  for (; at < count && IsOption(arguments[at]); ++at) {
    if (Is(arguments[at], "-C")) {
      if (options.outputFolder != nullptr || at + 1 == count) return Options{};
      options.outputFolder = arguments[++at];
    } else {
      if (list) return Options{};
      list = true;
    }
  }
  const int rest = count - at;
  if (rest < 1 || rest > 2 || (rest == 2 && !Is(arguments[at + 1], "-d"))) return Options{};
  options.action = list ? Action::kList : Action::kExtract;
  options.d88Path = arguments[at];
  options.perImageFolders = rest == 1;
  return options;
}
