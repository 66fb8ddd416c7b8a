// Which names of a disk directory can be files here.
//
// Elsewhere the name's bytes are the file name as they stand. On Windows they
// are decoded as Shift_JIS (code page 932), whatever the system's code page,
// and the file is made through the wide-character API, so Japanese names
// come out right.
#pragma once


// False for names that would leave the current directory or cannot be a
// plain file in it: empty, "." and "..", and names holding a path separator.
// On Windows also names that are not valid Shift_JIS, hold a character
// Windows refuses in file names (: \ * ? " < > | and control characters),
// end in a dot or a space, or are reserved for a device (CON, NUL, COM0,
// CONIN$, ..., with or without an extension).
bool IsUsableFileName(const char* name);

#ifdef _WIN32
// Room for a decoded name: directory names are 6 bytes at most.
constexpr int kMaxWideName = 16;

// Decodes `name` as Shift_JIS into `wide`; false when it is not valid
// Shift_JIS or does not fit.
bool DecodeShiftJis(const char* name, wchar_t (&wide)[kMaxWideName]);
#endif
