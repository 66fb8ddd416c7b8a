// NativeHandle and the Windows HANDLE it stands for, for the Windows sources
// of both platform seams.
#pragma once

#include <windows.h>

#include "image/native_handle.h"

inline HANDLE AsHandle(NativeHandle handle) { return reinterpret_cast<HANDLE>(handle); }
inline NativeHandle AsNative(HANDLE handle) { return reinterpret_cast<NativeHandle>(handle); }
