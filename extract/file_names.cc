#include "extract/file_names.h"

#include <cstring>

#include "extract/platform.h"

bool IsUsableFileName(const char* name) {
  const bool isDotName = std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
  return name[0] != '\0' && !isDotName && IsUsableNameHere(name);
}
