#include <windows.h>
#include <winternl.h>

#include <cstring>
#include <string>

#include "image/input_file.h"
#include "image/win32_handle.h"

std::wstring ExtendedPath(const char* path) {
  // Any name can be opened, not only what the system's code page can spell.
  const int length = MultiByteToWideChar(CP_UTF8, 0, path, -1, nullptr, 0);
  if (length <= 1) return std::wstring();
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, path, -1, wide.data(), length);
  // The \\?\ form of the full path: no limit of 260 characters, which a
  // long-path manifest lifts only where the system's setting allows.
  const DWORD fullLength = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (fullLength == 0) return std::wstring();
  std::wstring full(fullLength, L'\0');
  full.resize(GetFullPathNameW(wide.c_str(), fullLength, full.data(), nullptr));
  if (full.rfind(L"\\\\?\\", 0) == 0 || full.rfind(L"\\\\.\\", 0) == 0) return full;
  if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

FileIdentity IdentifyOpenFile(NativeHandle handle) {
  const HANDLE file = AsHandle(handle);
  FileIdentity identity;
  // First a way that needs no access right on the handle, so that a stream
  // opened for writing only (cmd's `>list.txt`, on FAT32 too) can be told.
  IO_STATUS_BLOCK io;
  FILE_INTERNAL_INFORMATION internal;
  FILE_ID_INFO id;
  BY_HANDLE_FILE_INFORMATION information;
  if (NT_SUCCESS(NtQueryInformationFile(file, &io, &internal, sizeof internal,
                                        FileInternalInformation))) {
    struct {
      FILE_FS_VOLUME_INFORMATION volume;
      WCHAR label[MAX_PATH];
    } volume;
    // STATUS_BUFFER_OVERFLOW: the label was cut, the serial number is there.
    constexpr NTSTATUS kBufferOverflow = static_cast<NTSTATUS>(0x80000005);
    const NTSTATUS status = NtQueryVolumeInformationFile(file, &io, &volume, sizeof volume,
                                                         FileFsVolumeInformation);
    if (NT_SUCCESS(status) || status == kBufferOverflow) {
      identity.volume = volume.volume.VolumeSerialNumber;
    }
    identity.file[0] = static_cast<uint64_t>(internal.IndexNumber.QuadPart);
  } else if (GetFileInformationByHandleEx(file, FileIdInfo, &id, sizeof id)) {
    identity.volume = id.VolumeSerialNumber;
    static_assert(sizeof id.FileId.Identifier == sizeof identity.file);
    std::memcpy(identity.file, id.FileId.Identifier, sizeof identity.file);
  } else if (GetFileInformationByHandle(file, &information)) {
    identity.volume = information.dwVolumeSerialNumber;
    identity.file[0] =
        static_cast<uint64_t>(information.nFileIndexHigh) << 32 | information.nFileIndexLow;
  }
  // A file ID of 0 is none: the file system could not give one.
  identity.known = identity.file[0] != 0 || identity.file[1] != 0;
  return identity;
}

bool InputFile::Open(const char* path) {
  Close();
  const std::wstring wide = ExtendedPath(path);
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
  handle = AsNative(file);
  // Unknown where the file system gives none: the file is still read, and
  // the tool then replaces no existing name.
  identity = IdentifyOpenFile(handle);
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
