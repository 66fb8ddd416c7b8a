#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <winternl.h>

#include <clocale>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>
// shellapi.h needs windows.h before it.
#include <shellapi.h>

#include "extract/platform.h"
#include "image/win32_handle.h"

namespace {

// Room for a decoded name: directory names are 6 bytes at most.
constexpr int kMaxWideName = 16;

// The file attributes of what `handle` was opened on; false when unknown.
// (wine cannot answer GetFileInformationByHandle for handles opened
// relative to a folder that has been renamed; this query it answers.)
bool AttributesOf(HANDLE handle, DWORD* attributes) {
  FILE_BASIC_INFO basic;
  if (!GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic)) return false;
  *attributes = basic.FileAttributes;
  return true;
}

// Decodes `name` as Shift_JIS into `wide`; false when it is not valid
// Shift_JIS or does not fit.
bool DecodeShiftJis(const char* name, wchar_t (&wide)[kMaxWideName]) {
  // The conversion follows the C library's character type, which the tool
  // sets to code page 932 once: no output of the tool depends on it.
  static const bool localeSet = std::setlocale(LC_CTYPE, ".932") != nullptr;
  if (!localeSet) return false;
  std::mbstate_t state{};
  const char* in = name;
  const char* const end = name + std::strlen(name);
  int length = 0;
  while (in < end) {
    if (length == kMaxWideName - 1) return false;
    const size_t used = std::mbrtowc(&wide[length], in, static_cast<size_t>(end - in), &state);
    if (used == 0 || used == static_cast<size_t>(-1) || used == static_cast<size_t>(-2)) {
      return false;
    }
    in += used;
    ++length;
  }
  wide[length] = L'\0';
  return true;
}

extern "C" NTSTATUS NTAPI NtQueryAttributesFile(POBJECT_ATTRIBUTES attributes,
                                                FILE_BASIC_INFORMATION* information);

// Folders are held without delete sharing, so on Windows nobody can rename
// or remove them while the run holds them; and everything in them is opened
// relative to the held handle (NtCreateFile with it as the root), as the
// *at calls do on POSIX, so no path is ever looked up again either.
constexpr ACCESS_MASK kFolderAccess = FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
constexpr ULONG kFolderSharing = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr ULONG kAnySharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr NTSTATUS kNameCollision =
    static_cast<NTSTATUS>(0xC0000035);  // STATUS_OBJECT_NAME_COLLISION
// The object at the name itself, never what a link or junction leads to.
constexpr ULONG kNoFollow = FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT;

struct NameIn {
  explicit NameIn(HANDLE folder, wchar_t* name) {
    text.Buffer = name;
    text.Length = text.MaximumLength = static_cast<USHORT>(std::wcslen(name) * sizeof(wchar_t));
    InitializeObjectAttributes(&object, &text, OBJ_CASE_INSENSITIVE, folder, nullptr);
  }
  UNICODE_STRING text;
  OBJECT_ATTRIBUTES object;
};

HANDLE OpenIn(HANDLE folder, wchar_t* name, ACCESS_MASK access, ULONG sharing, ULONG disposition,
              ULONG options, NTSTATUS* status = nullptr) {
  NameIn at(folder, name);
  IO_STATUS_BLOCK io;
  HANDLE opened = nullptr;
  const NTSTATUS result =
      NtCreateFile(&opened, access | SYNCHRONIZE, &at.object, &io, nullptr, FILE_ATTRIBUTE_NORMAL,
                   sharing, disposition, options | kNoFollow, nullptr, 0);
  if (status != nullptr) *status = result;
  return NT_SUCCESS(result) ? opened : INVALID_HANDLE_VALUE;
}

// Whether what stands at `name` is a reparse point (a symbolic link, a
// junction), asked of the name, not of an opened handle: wine opens the
// target even when asked for the link, and shows links to folders only
// this way.
bool IsReparsePointIn(HANDLE folder, wchar_t* name) {
  NameIn at(folder, name);
  FILE_BASIC_INFORMATION information = {};
  return NT_SUCCESS(NtQueryAttributesFile(&at.object, &information)) &&
         (information.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool WriteAll(HANDLE file, const uint8_t* data, int32_t length) {
  int32_t written = 0;
  while (written < length) {
    DWORD count = 0;
    if (!WriteFile(file, data + written, static_cast<DWORD>(length - written), &count, nullptr) ||
        count == 0) {
      return false;
    }
    written += static_cast<int32_t>(count);
  }
  return true;
}

// Deletes what `handle` was opened on, read-only or not: the file or link
// itself, since it was opened without following links.
bool DeleteOpened(HANDLE handle) {
  FILE_BASIC_INFO basic = {};
  if (GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic) &&
      (basic.FileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
    basic.FileAttributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
    if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof basic);
  }
  FILE_DISPOSITION_INFO disposition = {TRUE};
  return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition,
                                    sizeof disposition) != 0;
}

// Removes whatever stands at `name` in `folder` so that a file can be
// created there: refused for the protected `files` (the D88 file and its
// hard links among them), for a directory and for what cannot be looked at.
// Looks at the thing itself, never where a link leads.
SaveResult RemoveExisting(HANDLE folder, wchar_t* name, const ProtectedFiles& files) {
  const HANDLE existing = OpenIn(folder, name, FILE_READ_ATTRIBUTES, kAnySharing, FILE_OPEN, 0);
  if (existing == INVALID_HANDLE_VALUE) return SaveResult::kNotWritten;
  DWORD attributes = 0;
  const bool seen = AttributesOf(existing, &attributes);
  const FileIdentity identity = IdentifyOpenFile(AsNative(existing));
  CloseHandle(existing);
  // A directory is refused; a link or junction to one is removed like any link.
  const bool isDirectory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
  const SaveResult verdict =
      JudgeExistingName(seen ? identity : FileIdentity{}, isDirectory, files);
  if (verdict != SaveResult::kWritten) return verdict;
  // The D88 file is held without delete sharing: if it took the name's
  // place since, this open fails.
  const HANDLE doomed = OpenIn(folder, name, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                               kAnySharing, FILE_OPEN, 0);
  if (doomed == INVALID_HANDLE_VALUE) return SaveResult::kNotWritten;
  const bool deleted = DeleteOpened(doomed);
  CloseHandle(doomed);
  return deleted ? SaveResult::kWritten : SaveResult::kNotWritten;
}

}  // namespace

Arguments TakeArguments(int argc, char** argv) {
  int wideCount = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &wideCount);
  if (wide == nullptr || wideCount < 1) return Arguments{argc, argv};
  // Made once for the process, so the pointers stay valid to its end.
  static std::vector<std::string> utf8;
  static std::vector<char*> values;
  utf8.resize(static_cast<size_t>(wideCount));
  for (int i = 1; i < wideCount; ++i) {
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
    utf8[i].assign(bytes > 0 ? static_cast<size_t>(bytes) : 1, '\0');
    if (bytes > 0) {
      WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, utf8[i].data(), bytes, nullptr, nullptr);
    }
  }
  LocalFree(wide);
  values.assign(static_cast<size_t>(wideCount) + 1, nullptr);
  values[0] = argc > 0 ? argv[0] : nullptr;
  for (int i = 1; i < wideCount; ++i) values[i] = utf8[i].data();
  return Arguments{wideCount, values.data()};
}

bool PrepareStandardStreams() {
  // A closed standard stream cannot be taken over here: files are opened as
  // handles, never as the C library's descriptors 0 to 2.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  return true;
}

bool StandardOutputIsTerminal() {
  // _isatty is also true for NUL; only a console has a console mode.
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

StreamTarget IdentifyStandardStream(StandardStream stream) {
  const DWORD which = stream == StandardStream::kOutput ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE;
  const HANDLE handle = GetStdHandle(which);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return StreamTarget{};  // closed
  SetLastError(NO_ERROR);
  const DWORD type = GetFileType(handle);
  const DWORD error = GetLastError();
  // What cannot be looked at may be a file; a handle that is no longer
  // valid is a stream that was closed.
  if (type == FILE_TYPE_UNKNOWN && error != NO_ERROR) {
    return error == ERROR_INVALID_HANDLE ? StreamTarget{} : StreamTarget{true, FileIdentity{}};
  }
  if (type != FILE_TYPE_DISK) return StreamTarget{};
  return StreamTarget{true, IdentifyOpenFile(AsNative(handle))};
}

bool IsUsableNameHere(const char* name) {
  wchar_t wide[kMaxWideName];
  return DecodeShiftJis(name, wide) && IsUsableWindowsName(wide);
}

bool OutputFolder::OpenCurrent() {
  Close();
  const HANDLE folder = CreateFileW(L".", kFolderAccess, kFolderSharing, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (folder == INVALID_HANDLE_VALUE) return false;
  Hold(AsNative(folder), 0, false);
  return true;
}

bool OutputFolder::OpenSubfolder(const OutputFolder& parent, const char* name) {
  Close();
  wchar_t wide[kMaxWideName];
  if (!DecodeShiftJis(name, wide)) return false;
  const HANDLE parentFolder = AsHandle(parent.handle);
  // A junction or a link could lead anywhere.
  if (IsReparsePointIn(parentFolder, wide)) return false;
  // Held with the right to add files, so a folder we may not write is refused.
  const HANDLE folder = OpenIn(parentFolder, wide, kFolderAccess | FILE_ADD_FILE, kFolderSharing,
                               FILE_OPEN_IF, FILE_DIRECTORY_FILE);
  if (folder == INVALID_HANDLE_VALUE) return false;
  DWORD attributes = 0;
  if (!AttributesOf(folder, &attributes) || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
      (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    CloseHandle(folder);
    return false;
  }
  Hold(AsNative(folder), 0, false);
  return true;
}

void OutputFolder::Close() {
  if (handle == kNoHandle) return;
  CloseHandle(AsHandle(handle));
  handle = kNoHandle;
}

SaveResult OutputFolder::SaveBuffer(const char* name, const uint8_t* data, int32_t length,
                                    const ProtectedFiles& files) const {
  wchar_t wide[kMaxWideName];
  if (!DecodeShiftJis(name, wide)) return SaveResult::kNotWritten;
  const HANDLE folder = AsHandle(handle);
  constexpr ACCESS_MASK kWriteAccess = GENERIC_WRITE | DELETE;
  NTSTATUS status = 0;
  HANDLE file =
      OpenIn(folder, wide, kWriteAccess, 0, FILE_CREATE, FILE_NON_DIRECTORY_FILE, &status);
  if (file == INVALID_HANDLE_VALUE && status == kNameCollision) {
    const SaveResult removed = RemoveExisting(folder, wide, files);
    if (removed != SaveResult::kWritten) return removed;
    file = OpenIn(folder, wide, kWriteAccess, 0, FILE_CREATE, FILE_NON_DIRECTORY_FILE);
  }
  if (file == INVALID_HANDLE_VALUE) return SaveResult::kNotWritten;
  const bool whole = length >= 0 && WriteAll(file, data, length);
  // Not written whole: the file written here goes again, by its handle.
  if (!whole) DeleteOpened(file);
  return CloseHandle(file) && whole ? SaveResult::kWritten : SaveResult::kNotWritten;
}
