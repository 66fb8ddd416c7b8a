#include "extract/console.h"

#include <csignal>
#include <cstdarg>
#include <cstdio>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

bool stdoutIsTerminal = false;

bool IsControlByte(unsigned char byte) { return byte < 0x20 || byte == 0x7F; }

// Whether standard output reaches a terminal that acts on control bytes.
bool StandardOutputIsTerminal() {
#ifdef _WIN32
  // _isatty is also true for NUL; only a console has a console mode.
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
#else
  return isatty(STDOUT_FILENO) == 1;
#endif
}

}  // namespace

void SetUpConsole() {
#ifdef _WIN32
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
#endif
#ifdef SIGPIPE
  std::signal(SIGPIPE, SIG_IGN);
#endif
#ifdef SIGXFSZ
  std::signal(SIGXFSZ, SIG_IGN);
#endif
  stdoutIsTerminal = StandardOutputIsTerminal();
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

void PrintError(const char* format, ...) {
  std::fflush(stdout);
  va_list arguments;
  va_start(arguments, format);
  std::vfprintf(stderr, format, arguments);
  va_end(arguments);
}

bool FlushStandardOutput() { return std::fflush(stdout) == 0 && !std::ferror(stdout); }
