#include <windows.h>

#include <cstring>
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

bool IdentifyOpenFile(intptr_t handle, FileIdentity* identity) {
  // The file ID query works on every handle wine gives too (inherited
  // standard handles, handles opened relative to a folder).
  FILE_ID_INFO id;
  if (GetFileInformationByHandleEx(AsHandle(handle), FileIdInfo, &id, sizeof id)) {
    identity->volume = id.VolumeSerialNumber;
    static_assert(sizeof id.FileId.Identifier == sizeof identity->file);
    std::memcpy(identity->file, id.FileId.Identifier, sizeof identity->file);
    return true;
  }
  // Older systems: the 64-bit file index, which is the low half of the ID.
  BY_HANDLE_FILE_INFORMATION information;
  if (!GetFileInformationByHandle(AsHandle(handle), &information)) return false;
  identity->volume = information.dwVolumeSerialNumber;
  identity->file[0] =
      static_cast<uint64_t>(information.nFileIndexHigh) << 32 | information.nFileIndexLow;
  identity->file[1] = 0;
  return true;
}

bool InputFile::Open(const char* path) {
  Close();
  const std::wstring wide = WidePath(path);
  if (wide.empty()) return false;
  // Without backup semantics a directory does not open; a pipe or a device
  // does, and is refused below. No delete sharing: while the run holds the
  // file, nobody (the run included) can delete or rename it under any of
  // its names.
  const HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  FILE_BASIC_INFO basic;
  if (GetFileType(file) != FILE_TYPE_DISK ||
      !GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic) ||
      (basic.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    CloseHandle(file);
    return false;
  }
  handle = reinterpret_cast<intptr_t>(file);
  IdentifyOpenFile(handle, &identity);
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
