#include <windows.h>

#include <string>

#include "image/input_file.h"

namespace {

HANDLE AsHandle(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// The path's UTF-8 bytes as the wide-character API takes them, so that any
// name can be opened, not only what the system's code page can spell.
std::wstring WidePath(const char* path) {
  const int length = MultiByteToWideChar(CP_UTF8, 0, path, -1, nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, path, -1, wide.data(), length);
  wide.resize(static_cast<size_t>(length - 1));
  return wide;
}

}  // namespace

bool InputFile::Open(const char* path) {
  Close();
  const std::wstring wide = WidePath(path);
  if (wide.empty()) return false;
  // Without backup semantics a directory does not open; a pipe or a device
  // does, and is refused below.
  const HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION information;
  if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &information) ||
      (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    CloseHandle(file);
    return false;
  }
  handle = reinterpret_cast<intptr_t>(file);
  identity = FileIdentity{
      information.dwVolumeSerialNumber,
      static_cast<uint64_t>(information.nFileIndexHigh) << 32 | information.nFileIndexLow};
  return true;
}

void InputFile::Close() {
  if (!IsOpen()) return;
  CloseHandle(AsHandle(handle));
  handle = kNoHandle;
  identity = FileIdentity{};
}

int64_t InputFile::ReadAt(int64_t positionInFile, uint8_t* destination, int64_t length) {
  if (!IsOpen()) return -1;
  int64_t delivered = 0;
  while (delivered < length) {
    const uint64_t position = static_cast<uint64_t>(positionInFile + delivered);
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(position);
    at.OffsetHigh = static_cast<DWORD>(position >> 32);
    const int64_t left = length - delivered;
    const DWORD wanted = static_cast<DWORD>(left < (1 << 30) ? left : (1 << 30));
    DWORD arrived = 0;
    if (!ReadFile(AsHandle(handle), destination + delivered, wanted, &arrived, &at)) {
      if (GetLastError() == ERROR_HANDLE_EOF) break;  // the end of the file, not a failure
      return -1;
    }
    if (arrived == 0) break;
    delivered += arrived;
  }
  return delivered;
}
