// Console output of the tool: progress on standard output, failures on
// standard error, and how text from the image and the tool's own Japanese
// messages show on each: as their Shift_JIS bytes on pipes and files,
// decoded at a UTF-8 terminal, masked wherever control bytes could act
// (display_text.h).
#pragma once

#include <cstddef>
#include <string>

#include "extract/platform.h"

// Sets up the process for the run, once, before anything is printed or
// opened (PrepareStandardStreams: binary streams, failed writes rather than
// signals, closed streams held), and notes how each stream shows text.
// False when a closed stream could not be held: the run must end.
bool SetUpConsole();

// `text` from the image (a name, a disk name) as standard output shows it,
// padded with spaces to `padToBytes` of its bytes.
std::string OnOutput(const char* text, size_t padToBytes = 0);

// `text` from the image as a message on standard error quotes it.
std::string InMessage(const char* text);

// `text` the user gave (a path) as messages quote it: as given, but each
// control byte as \x and two upper-case hex digits.
std::string ForMessageText(const char* text);

// Prints on standard output, or, after flushing standard output so that the
// two stay in order where they meet, a failure on standard error.
[[gnu::format(printf, 1, 2)]] void PrintOutput(const char* format, ...);
[[gnu::format(printf, 1, 2)]] void PrintError(const char* format, ...);

// Prints one of the tool's Japanese messages (Shift_JIS, ending in a line
// feed) as `stream` shows it.
void PutMessage(StandardStream stream, const char* message);

// Flushes standard output; false when anything printed on it was lost
// (a full disk, a closed pipe).
bool FlushStandardOutput();
