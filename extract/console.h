// Console output of the tool: progress on standard output, failures on
// standard error, and how names from the image are shown on each.
#pragma once

#include <string>

// Sets up the process for the run, once, before anything is printed or
// opened (PrepareStandardStreams: binary streams, failed writes rather than
// signals, closed streams held), and notes whether standard output is a
// terminal, for ForStandardOutput. False when a closed stream could not be
// held: the run must end.
bool SetUpConsole();

// Names and disk names hold at most 16 bytes; room for each of them written
// as four ("\x1B") and the terminating 0x00.
constexpr int kMaxShownNameBytes = 16;

struct ShownName {
  char text[4 * kMaxShownNameBytes + 1];
};

// `name` (a name or disk name of the image, raw bytes) as standard output
// shows it. At a terminal, which would act on them, each control byte (below
// 0x20, and 0x7F) becomes "?", one byte for one, so that the listing keeps
// its columns. Every other byte, Shift_JIS included, and every byte written
// to a pipe or a file, stays as it is.
ShownName ForStandardOutput(const char* name);

// `name` as the tool's messages quote it: each control byte as \x and two
// upper-case hex digits, wherever the message goes, so that one message is
// one line. No other byte is escaped (0x5C is a Shift_JIS trail byte).
ShownName ForMessage(const char* name);

// `text` (bytes the user gave, such as a path), as messages quote it: each
// control byte as \x and two upper-case hex digits, every other byte as it
// is.
std::string ForMessageText(const char* text);

// Prints a failure on standard error. Standard output is flushed first, so
// that the two streams stay in order when they share a terminal or a file.
[[gnu::format(printf, 1, 2)]] void PrintError(const char* format, ...);

// Flushes standard output; false when anything printed on it was lost
// (a full disk, a closed pipe).
bool FlushStandardOutput();
