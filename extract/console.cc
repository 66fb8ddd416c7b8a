#include "extract/console.h"

#include <cstdarg>
#include <cstdio>

#include "extract/platform.h"

namespace {

bool stdoutIsTerminal = false;

bool IsControlByte(unsigned char byte) { return byte < 0x20 || byte == 0x7F; }

}  // namespace

bool SetUpConsole() {
  if (!PrepareStandardStreams()) return false;
  stdoutIsTerminal = StandardOutputIsTerminal();
  return true;
}

ShownName ForStandardOutput(const char* name) {
  ShownName shown;
  int length = 0;
  for (; length < kMaxShownNameBytes && name[length] != '\0'; ++length) {
    const bool masked = stdoutIsTerminal && IsControlByte(static_cast<unsigned char>(name[length]));
    shown.text[length] = masked ? '?' : name[length];
  }
  shown.text[length] = '\0';
  return shown;
}

ShownName ForMessage(const char* name) {
  static const char kHexDigits[] = "0123456789ABCDEF";
  ShownName shown;
  int length = 0;
  for (int i = 0; i < kMaxShownNameBytes && name[i] != '\0'; ++i) {
    const unsigned char byte = static_cast<unsigned char>(name[i]);
    if (!IsControlByte(byte)) {
      shown.text[length++] = name[i];
      continue;
    }
    shown.text[length++] = '\\';
    shown.text[length++] = 'x';
    shown.text[length++] = kHexDigits[byte >> 4];
    shown.text[length++] = kHexDigits[byte & 0xF];
  }
  shown.text[length] = '\0';
  return shown;
}

std::string ForMessageText(const char* text) {
  static const char kHexDigits[] = "0123456789ABCDEF";
  std::string shown;
  for (; *text != '\0'; ++text) {
    const unsigned char byte = static_cast<unsigned char>(*text);
    if (!IsControlByte(byte)) {
      shown += *text;
      continue;
    }
    shown += {'\\', 'x', kHexDigits[byte >> 4], kHexDigits[byte & 0xF]};
  }
  return shown;
}

void PrintError(const char* format, ...) {
  std::fflush(stdout);
  va_list arguments;
  va_start(arguments, format);
  std::vfprintf(stderr, format, arguments);
  va_end(arguments);
}

bool FlushStandardOutput() { return std::fflush(stdout) == 0 && !std::ferror(stdout); }
