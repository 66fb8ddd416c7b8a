#include "extract/command_line.h"

#ifdef _WIN32
#include <windows.h>

#include <string>
#include <vector>
// shellapi.h needs windows.h before it.
#include <shellapi.h>
#endif

Arguments TakeArguments(int argc, char** argv) {
#ifdef _WIN32
  int wideCount = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &wideCount);
  if (wide == nullptr || wideCount < 1) return Arguments{argc, argv};
  // Made once for the process, so the pointers stay valid to its end.
  static std::vector<std::string> utf8;
  static std::vector<char*> values;
  utf8.resize(static_cast<size_t>(wideCount));
  for (int i = 1; i < wideCount; ++i) {
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
    utf8[i].assign(bytes > 0 ? static_cast<size_t>(bytes) : 1, '\0');
    if (bytes > 0) {
      WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, utf8[i].data(), bytes, nullptr, nullptr);
    }
  }
  LocalFree(wide);
  values.assign(static_cast<size_t>(wideCount) + 1, nullptr);
  values[0] = argc > 0 ? argv[0] : nullptr;
  for (int i = 1; i < wideCount; ++i) values[i] = utf8[i].data();
  return Arguments{wideCount, values.data()};
#else
  return Arguments{argc, argv};
#endif
}
