// The vocabulary both platform seams share (image/input_file.h for the D88
// file, extract/platform.h for what the tool writes): how an open file or
// folder is held, and which file it is.
#pragma once

#include <cstdint>

#include "image/d88_file.h"

// A descriptor on POSIX, a HANDLE on Windows; kNoHandle when none.
using NativeHandle = intptr_t;
constexpr NativeHandle kNoHandle = -1;  // INVALID_HANDLE_VALUE on Windows

// The identity of the open file `handle`; unknown when the system cannot
// tell. (input_file_posix.cc, input_file_win32.cc)
FileIdentity IdentifyOpenFile(NativeHandle handle);
