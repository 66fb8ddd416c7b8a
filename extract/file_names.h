// The files the tool writes, named by the bytes of a disk directory entry.
//
// Elsewhere the name's bytes are the file name as they stand. On Windows they
// are decoded as Shift_JIS (code page 932), whatever the system's code page,
// and the file is created through the wide-character API, so Japanese names
// come out right.
#pragma once

#include <cstdint>
#include <cstdio>

// False for names that would leave the current directory or cannot be a
// plain file in it: empty, "." and "..", and names holding a path separator.
// On Windows also names that are not valid Shift_JIS, hold a character
// Windows refuses in file names (: \ * ? " < > | and control characters),
// end in a dot, or name a device (CON, NUL, COM1, ...).
bool IsUsableFileName(const char* name);

// Creates or truncates the file `name` in the current directory for writing
// in binary mode. Null when it cannot be created.
std::FILE* CreateOutputFile(const char* name);

// Creates or truncates the file `name` in the current directory and writes
// `length` bytes of `data` into it with one write. False if it cannot be
// created or is written short.
bool SaveBuffer(const char* name, const uint8_t* data, int32_t length);
