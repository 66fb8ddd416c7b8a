#include "extract/file_names.h"

#include <cstring>

namespace {

bool IsSeparator(char c) {
#ifdef _WIN32
  return c == '/' || c == '\\';
#else
  return c == '/';
#endif
}

}  // namespace

bool IsUsableFileName(const char* name) {
  if (name[0] == '\0' || std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) return false;
  for (const char* c = name; *c != '\0'; ++c) {
    if (IsSeparator(*c)) return false;
  }
  return true;
}
