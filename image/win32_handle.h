// What the Windows sources of both platform seams share: NativeHandle and
// the HANDLE it stands for, and how a path given in UTF-8 is opened.
#pragma once

#include <windows.h>

#include <string>

#include "image/native_handle.h"

inline HANDLE AsHandle(NativeHandle handle) { return reinterpret_cast<HANDLE>(handle); }
inline NativeHandle AsNative(HANDLE handle) { return reinterpret_cast<NativeHandle>(handle); }

// The wide-character \\?\ form of the full path of `path` (UTF-8), so that a
// path of any length and any characters opens; empty when it has none.
std::wstring ExtendedPath(const char* path);
