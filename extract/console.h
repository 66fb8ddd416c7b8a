// Console output of the tool: progress on standard output, failures on
// standard error.
#pragma once

// Prints a failure on standard error. Standard output is flushed first, so
// that the two streams stay in order when they share a terminal or a file.
[[gnu::format(printf, 1, 2)]] void PrintError(const char* format, ...);

// Flushes standard output; false when anything printed on it was lost
// (a full disk, a closed pipe).
bool FlushStandardOutput();
