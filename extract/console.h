// Console output of the tool: progress on standard output, failures on
// standard error.
#pragma once

// Makes standard output and standard error binary streams, so that every
// message goes out byte for byte ("\n" stays one byte on Windows too).
void UseBinaryConsole();

// Prints a failure on standard error. Standard output is flushed first, so
// that the two streams stay in order when they share a terminal or a file.
[[gnu::format(printf, 1, 2)]] void PrintError(const char* format, ...);

// Flushes standard output; false when anything printed on it was lost
// (a full disk, a closed pipe).
bool FlushStandardOutput();
