#include "extract/console.h"

#include <cstdarg>
#include <cstdio>

void PrintError(const char* format, ...) {
  std::fflush(stdout);
  va_list arguments;
  va_start(arguments, format);
  std::vfprintf(stderr, format, arguments);
  va_end(arguments);
}

bool FlushStandardOutput() { return std::fflush(stdout) == 0 && !std::ferror(stdout); }
