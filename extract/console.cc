#include "extract/console.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

DisplayMode outputMode, errorMode;
bool outputLost = false;

void Write(StandardStream stream, const std::string& text) {
  if (!WriteStandardStream(stream, text.data(), text.size()) && stream == StandardStream::kOutput) {
    outputLost = true;
  }
}

std::string Format(const char* format, va_list arguments) {
  va_list copy;
  va_copy(copy, arguments);
  const int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
  if (length > 0) std::vsnprintf(text.data(), text.size() + 1, format, arguments);
  return text;
}

}  // namespace

bool SetUpConsole() {
  if (!PrepareStandardStreams()) return false;
  outputMode = StandardStreamDisplay(StandardStream::kOutput);
  errorMode = StandardStreamDisplay(StandardStream::kError);
  return true;
}

std::string OnOutput(const char* text, size_t padToBytes) {
  return ToDisplay(text, outputMode, Field::kOutput, DecodeCp932, padToBytes);
}

std::string InMessage(const char* text) {
  return ToDisplay(text, errorMode, Field::kMessage, DecodeCp932);
}

std::string ForMessageText(const char* text) {
  return ToDisplay(text, DisplayMode{}, Field::kMessage, nullptr);
}

void PrintOutput(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  Write(StandardStream::kOutput, Format(format, arguments));
  va_end(arguments);
}

void PrintError(const char* format, ...) {
  std::fflush(stdout);
  va_list arguments;
  va_start(arguments, format);
  Write(StandardStream::kError, Format(format, arguments));
  va_end(arguments);
}

void PutMessage(StandardStream stream, const char* message) {
  // The tool's own text: nothing in it to mask but its line end.
  const std::string_view text(message, std::strlen(message) - 1);
  const DisplayMode mode = stream == StandardStream::kOutput ? outputMode : errorMode;
  const std::string shown = ToDisplay(text, mode, Field::kOutput, DecodeCp932) + "\n";
  if (stream == StandardStream::kError) std::fflush(stdout);
  Write(stream, shown);
}

bool FlushStandardOutput() {
  return std::fflush(stdout) == 0 && !std::ferror(stdout) && !outputLost;
}
