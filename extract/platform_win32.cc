#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <clocale>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <initializer_list>
#include <string>
#include <vector>
// shellapi.h needs windows.h before it.
#include <shellapi.h>

#include "extract/platform.h"

namespace {

// Room for a decoded name: directory names are 6 bytes at most.
constexpr int kMaxWideName = 16;

HANDLE AsHandle(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

bool IdentifyHandle(HANDLE handle, FileIdentity* identity, DWORD* attributes = nullptr) {
  BY_HANDLE_FILE_INFORMATION information;
  if (GetFileInformationByHandle(handle, &information) == 0) return false;
  identity->volume = information.dwVolumeSerialNumber;
  identity->file =
      static_cast<uint64_t>(information.nFileIndexHigh) << 32 | information.nFileIndexLow;
  if (attributes != nullptr) *attributes = information.dwFileAttributes;
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

// Names Windows keeps for devices, in any case, with or without an
// extension. "Naming Files, Paths, and Namespaces", Naming Conventions:
// CON, PRN, AUX, NUL, COM0 to COM9 and LPT0 to LPT9, also with the
// superscript digits 1, 2 and 3 (U+00B9, U+00B2, U+00B3),
// https://learn.microsoft.com/en-us/windows/win32/fileio/naming-a-file
// and CONIN$ and CONOUT$, the console ("CreateFileW", Consoles),
// https://learn.microsoft.com/en-us/windows/win32/api/fileapi/nf-fileapi-createfilew#consoles
bool IsReservedName(const wchar_t* name) {
  wchar_t base[kMaxWideName] = {};
  for (int i = 0; name[i] != L'\0' && name[i] != L'.' && i < kMaxWideName - 1; ++i) {
    base[i] = (name[i] >= L'a' && name[i] <= L'z') ? name[i] - L'a' + L'A' : name[i];
  }
  for (const wchar_t* device : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"}) {
    if (std::wcscmp(base, device) == 0) return true;
  }
  const bool port = std::wcsncmp(base, L"COM", 3) == 0 || std::wcsncmp(base, L"LPT", 3) == 0;
  const wchar_t digit = base[3];
  const bool isDigit = (digit >= L'0' && digit <= L'9') || digit == L'\u00B9' ||
                       digit == L'\u00B2' || digit == L'\u00B3';
  return port && isDigit && base[4] == L'\0';
}

bool IsUsableWideName(const wchar_t* name) {
  const size_t length = std::wcslen(name);
  if (length == 0) return false;
  for (size_t i = 0; i < length; ++i) {
    if (name[i] < 0x20 || std::wcschr(L"<>:\"/\\|?*", name[i]) != nullptr) return false;
  }
  // Windows drops a trailing dot or space: the file would get another name.
  if (name[length - 1] == L'.' || name[length - 1] == L' ') return false;
  return !IsReservedName(name);
}

// The full path of `name` in the folder held by `folder`, taken from the
// handle itself (in the \\?\ form, so no path length limit applies); empty
// when the folder's path cannot be told.
std::wstring PathIn(HANDLE folder, const wchar_t* name) {
  const DWORD needed = GetFinalPathNameByHandleW(folder, nullptr, 0, VOLUME_NAME_DOS);
  if (needed == 0) return std::wstring();
  std::wstring path(needed, L'\0');
  const DWORD length = GetFinalPathNameByHandleW(folder, path.data(), needed, VOLUME_NAME_DOS);
  if (length == 0 || length >= needed) return std::wstring();
  path.resize(length);
  if (path.back() != L'\\') path += L'\\';
  return path + name;
}

// Opens what stands at `path` only to ask what it is; backup semantics
// open a folder too.
HANDLE OpenForIdentity(const std::wstring& path, DWORD flags) {
  return CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr);
}

HANDLE CreateFresh(const std::wstring& path) {
  return CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                     nullptr);
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

void PrepareStandardStreams() {
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
}

bool StandardOutputIsTerminal() {
  // _isatty is also true for NUL; only a console has a console mode.
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

bool StandardStreamIsFile(StandardStream stream, const FileIdentity& file) {
  const DWORD which = stream == StandardStream::kOutput ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE;
  const HANDLE handle = GetStdHandle(which);
  FileIdentity identity;
  return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
         GetFileType(handle) == FILE_TYPE_DISK && IdentifyHandle(handle, &identity) &&
         identity == file;
}

bool IsUsableNameHere(const char* name) {
  wchar_t wide[kMaxWideName];
  return DecodeShiftJis(name, wide) && IsUsableWideName(wide);
}

bool OutputFolder::OpenCurrent() {
  Close();
  const HANDLE folder = OpenForIdentity(L".", 0);
  if (folder == INVALID_HANDLE_VALUE) return false;
  handle = reinterpret_cast<intptr_t>(folder);
  return true;
}

bool OutputFolder::OpenSubfolder(const OutputFolder& parent, const char* name) {
  Close();
  wchar_t wide[kMaxWideName];
  if (!DecodeShiftJis(name, wide)) return false;
  const std::wstring path = PathIn(AsHandle(parent.handle), wide);
  if (path.empty()) return false;
  CreateDirectoryW(path.c_str(), nullptr);  // an existing one is reused
  const HANDLE folder = OpenForIdentity(path, 0);
  if (folder == INVALID_HANDLE_VALUE) return false;
  FileIdentity identity;
  DWORD attributes = 0;
  if (!IdentifyHandle(folder, &identity, &attributes) ||
      (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    CloseHandle(folder);
    return false;
  }
  handle = reinterpret_cast<intptr_t>(folder);
  return true;
}

void OutputFolder::Close() {
  if (handle == kNoHandle) return;
  CloseHandle(AsHandle(handle));
  handle = kNoHandle;
}

SaveResult OutputFolder::SaveBuffer(const char* name, const uint8_t* data, int32_t length,
                                    const FileIdentity& d88) const {
  wchar_t wide[kMaxWideName];
  if (!DecodeShiftJis(name, wide)) return SaveResult::kNotWritten;
  const std::wstring path = PathIn(AsHandle(handle), wide);
  if (path.empty()) return SaveResult::kNotWritten;
  HANDLE file = CreateFresh(path);
  if (file == INVALID_HANDLE_VALUE) {
    // Something may stand at the name; look at it, not at where a link leads.
    const HANDLE existing = OpenForIdentity(path, FILE_FLAG_OPEN_REPARSE_POINT);
    if (existing == INVALID_HANDLE_VALUE) return SaveResult::kNotWritten;
    FileIdentity identity;
    DWORD attributes = 0;
    const bool known = IdentifyHandle(existing, &identity, &attributes);
    CloseHandle(existing);
    if (known && identity == d88) return SaveResult::kIsD88File;
    if (known && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return SaveResult::kNotWritten;
    if (DeleteFileW(path.c_str())) file = CreateFresh(path);
  }
  if (file == INVALID_HANDLE_VALUE) return SaveResult::kNotWritten;
  const bool whole = length >= 0 && WriteAll(file, data, length);
  if (CloseHandle(file) && whole) return SaveResult::kWritten;
  DeleteFileW(path.c_str());
  return SaveResult::kNotWritten;
}
