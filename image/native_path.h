// The D88 path as the file system takes it. The path is bytes everywhere
// the tool passes it on; on Windows those bytes are UTF-8 (the command line
// is taken in UTF-16 and converted), and the file is opened through the
// wide-character API, so any name can be opened. Elsewhere the bytes are the
// name as they stand.
#pragma once

#include <filesystem>

inline std::filesystem::path NativePath(const char* path) {
#ifdef _WIN32
  return std::filesystem::path(reinterpret_cast<const char8_t*>(path));
#else
  return std::filesystem::path(path);
#endif
}
