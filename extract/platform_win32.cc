#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <winternl.h>

#include <clocale>
#include <csignal>
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

// Deletes the file the run made and holds by `handle`, once it is closed.
bool DeleteOpened(HANDLE handle) {
  FILE_DISPOSITION_INFO disposition = {TRUE};
  return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition,
                                    sizeof disposition) != 0;
}

// What stands at an entry's name, looked at by a handle that does not follow
// links: the verdict on it (kWritten when it may be replaced), its
// attributes and how many names it has.
struct Existing {
  SaveResult verdict = SaveResult::kNotWritten;
  DWORD attributes = 0;
  DWORD links = 0;
};

Existing LookAt(HANDLE folder, wchar_t* name, const ProtectedFiles& files) {
  Existing existing;
  const HANDLE handle = OpenIn(folder, name, FILE_READ_ATTRIBUTES, kAnySharing, FILE_OPEN, 0);
  if (handle == INVALID_HANDLE_VALUE) return existing;
  FILE_STANDARD_INFO standard;
  wchar_t path[MAX_PATH + kMaxWideName];
  const DWORD pathLength =
      GetFinalPathNameByHandleW(handle, path, MAX_PATH + kMaxWideName, FILE_NAME_NORMALIZED);
  const bool seen = AttributesOf(handle, &existing.attributes) &&
                    GetFileInformationByHandleEx(handle, FileStandardInfo, &standard, sizeof standard) &&
                    pathLength > 0 && pathLength < MAX_PATH + kMaxWideName;
  const FileIdentity identity = IdentifyOpenFile(AsNative(handle));
  CloseHandle(handle);
  if (!seen) return existing;
  existing.links = standard.NumberOfLinks;
  // A name may reach a file through its 8.3 alias (AB~1 for "a b"): only a
  // file whose own long name is the entry's may be replaced.
  const wchar_t* longName = std::wcsrchr(path, L'\\');
  longName = longName != nullptr ? longName + 1 : path;
  if (CompareStringOrdinal(longName, -1, name, -1, TRUE) != CSTR_EQUAL) return existing;
  // A directory is refused; a link or junction to one is replaced like any link.
  const bool isDirectory = (existing.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                           (existing.attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
  existing.verdict = JudgeExistingName(identity, isDirectory, files);
  return existing;
}

// Sets or clears the read-only attribute of what stands at `name`, itself.
bool SetReadOnly(HANDLE folder, wchar_t* name, bool readOnly) {
  const HANDLE handle =
      OpenIn(folder, name, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, kAnySharing, FILE_OPEN, 0);
  if (handle == INVALID_HANDLE_VALUE) return false;
  FILE_BASIC_INFO basic = {};
  bool set = GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic);
  if (set) {
    basic.FileAttributes = readOnly ? basic.FileAttributes | FILE_ATTRIBUTE_READONLY
                                    : basic.FileAttributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
    if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    set = SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof basic) != 0;
  }
  CloseHandle(handle);
  return set;
}

// Renames the open `file` to `name` in `folder`, over what stands there:
// NtSetInformationFile with the held folder as the root of the name (the
// kernel32 call resolves it against the current directory under wine).
// Debian 12's mingw-w64 knows neither FileRenameInformationEx nor its
// flags: spelled out from the documented values.
bool RenameOver(HANDLE file, HANDLE folder, wchar_t* name, const Existing& existing) {
  constexpr auto kRenameInformation = static_cast<FILE_INFORMATION_CLASS>(10);
  constexpr auto kRenameInformationEx = static_cast<FILE_INFORMATION_CLASS>(65);
  constexpr ULONG kReplaceIfExists = 0x1, kPosixSemantics = 0x2, kIgnoreReadOnly = 0x40;
  struct {
    ULONG flags;  // FILE_RENAME_INFORMATION's ReplaceIfExists, for the plain class
    HANDLE root;
    ULONG nameBytes;
    wchar_t name[kMaxWideName];
  } rename = {kReplaceIfExists | kPosixSemantics | kIgnoreReadOnly, folder,
              static_cast<ULONG>(std::wcslen(name) * sizeof(wchar_t)), {}};
  std::wcscpy(rename.name, name);
  IO_STATUS_BLOCK io;
  const auto renamed = [&](FILE_INFORMATION_CLASS kind) {
    return NT_SUCCESS(NtSetInformationFile(file, &io, &rename, sizeof rename, kind));
  };
  // Windows 10 1809 and NTFS: the old file goes even while another program
  // holds it open, read-only or not.
  if (renamed(kRenameInformationEx)) return true;
  // Elsewhere (FAT, exFAT, older Windows, many SMB servers) the plain
  // rename, which replaces no read-only file: one is made writable only when
  // no other name shares it, and made read-only again if the rename fails.
  rename.flags = TRUE;
  if (renamed(kRenameInformation)) return true;
  if ((existing.attributes & FILE_ATTRIBUTE_READONLY) == 0 || existing.links != 1 ||
      !SetReadOnly(folder, name, false)) {
    return false;
  }
  if (renamed(kRenameInformation)) return true;
  SetReadOnly(folder, name, true);
  return false;
}

// A file created exclusively in `folder` under a temporary name, kept in
// `name`: longer than any entry's, and so is its 8.3 alias.
HANDLE CreateTemporary(HANDLE folder, wchar_t (&name)[kTemporaryNameBytes]) {
  for (int attempt = 0; attempt < kTemporaryAttempts; ++attempt) {
    char narrow[kTemporaryNameBytes];
    FormatTemporaryName(narrow, static_cast<long>(GetCurrentProcessId()), attempt);
    for (int i = 0; i < kTemporaryNameBytes; ++i) name[i] = static_cast<unsigned char>(narrow[i]);
    NTSTATUS status = 0;
    const HANDLE file = OpenIn(folder, name, GENERIC_WRITE | DELETE, 0, FILE_CREATE,
                               FILE_NON_DIRECTORY_FILE, &status);
    if (file != INVALID_HANDLE_VALUE || status != kNameCollision) return file;
  }
  return INVALID_HANDLE_VALUE;
}

// Stop requests arrive on a thread of their own: the main thread is told to
// stop, its waiting on a pipe cut short, and for a closing console (which
// ends the process some seconds after this returns) the handler waits for
// it to reach the point between files.
volatile LONG stopSignal = 0;
HANDLE mainThread = nullptr;
HANDLE betweenFiles = nullptr;

BOOL WINAPI NoteStopRequest(DWORD event) {
  const LONG signal = event == CTRL_C_EVENT ? SIGINT : event == CTRL_BREAK_EVENT ? SIGBREAK : SIGTERM;
  InterlockedExchange(&stopSignal, signal);
  if (mainThread != nullptr) CancelSynchronousIo(mainThread);
  if (signal == SIGTERM && betweenFiles != nullptr) WaitForSingleObject(betweenFiles, 4000);
  return TRUE;
}

// Writes `data` into `file` and closes it; one not written whole goes again,
// by its handle.
bool Fill(HANDLE file, const uint8_t* data, int32_t length) {
  const bool whole = length >= 0 && WriteAll(file, data, length);
  if (!whole) DeleteOpened(file);
  return CloseHandle(file) && whole;
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
  // The C library would give standard error a buffer at its first fwrite;
  // unbuffered, each message lands in order with standard output.
  std::setvbuf(stderr, nullptr, _IONBF, 0);
  return true;
}

void WatchStopRequests() {
  DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &mainThread, 0,
                  FALSE, DUPLICATE_SAME_ACCESS);
  betweenFiles = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  SetConsoleCtrlHandler(NoteStopRequest, TRUE);
}

int StopRequested() { return static_cast<int>(stopSignal); }

void StopNow(int) {
  if (betweenFiles != nullptr) SetEvent(betweenFiles);
  ExitProcess(STATUS_CONTROL_C_EXIT);  // as a console's Ctrl+C ends a program
}

namespace {

HANDLE StandardHandle(StandardStream stream) {
  return GetStdHandle(stream == StandardStream::kOutput ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}

bool IsConsole(HANDLE handle) {
  // _isatty is also true for NUL; only a console has a console mode.
  DWORD mode = 0;
  return GetConsoleMode(handle, &mode) != 0;
}

// Whether `handle` is the pipe of a mintty (Cygwin, MSYS2, Git for Windows)
// pseudo-terminal: named \{cygwin,msys}-<key>-pty<n>-to-master.
bool IsMinttyTerminal(HANDLE handle) {
  if (GetFileType(handle) != FILE_TYPE_PIPE) return false;
  struct {
    FILE_NAME_INFO info;
    wchar_t more[MAX_PATH];
  } name = {};
  if (!GetFileInformationByHandleEx(handle, FileNameInfo, &name, sizeof name)) return false;
  const std::wstring pipe(name.info.FileName, name.info.FileNameLength / sizeof(wchar_t));
  const bool known = pipe.rfind(L"\\cygwin-", 0) == 0 || pipe.rfind(L"\\msys-", 0) == 0;
  const std::wstring end = L"-to-master";
  return known && pipe.find(L"-pty") != std::wstring::npos && pipe.size() > end.size() &&
         pipe.compare(pipe.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

DisplayMode StandardStreamDisplay(StandardStream stream) {
  const HANDLE handle = StandardHandle(stream);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return DisplayMode{};
  // A console is written in UTF-16 (WriteStandardStream): it shows every
  // character, whatever its code page.
  if (IsConsole(handle)) return DisplayMode{true, true};
  // The character set mintty was told to use, as it tells its programs.
  if (IsMinttyTerminal(handle)) return DisplayMode{true, LocaleVariablesNameUtf8()};
  return DisplayMode{};
}

bool DecodeCp932(const char* bytes, int length, char32_t* character) {
  wchar_t wide[2];
  if (MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes, length, wide, 2) != 1) return false;
  *character = wide[0];
  return true;
}

bool WriteStandardStream(StandardStream stream, const char* text, size_t length) {
  std::FILE* file = stream == StandardStream::kOutput ? stdout : stderr;
  const HANDLE handle = StandardHandle(stream);
  if (length == 0 || !IsConsole(handle)) return std::fwrite(text, 1, length, file) == length;
  // Text for a console is UTF-8 (DisplayMode): written as UTF-16, after
  // what the C library holds for it.
  std::fflush(file);
  const int count = static_cast<int>(length);
  const int wideLength = MultiByteToWideChar(CP_UTF8, 0, text, count, nullptr, 0);
  std::wstring wide(static_cast<size_t>(wideLength > 0 ? wideLength : 0), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text, count, wide.data(), wideLength);
  for (size_t written = 0; written < wide.size();) {
    DWORD count = 0;
    if (!WriteConsoleW(handle, wide.data() + written, static_cast<DWORD>(wide.size() - written),
                       &count, nullptr) || count == 0) {
      return false;
    }
    written += count;
  }
  return true;
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

bool OutputFolder::OpenCurrent() { return OpenPath("."); }

bool OutputFolder::OpenPath(const char* path) {
  Close();
  const std::wstring wide = ExtendedPath(path);
  const HANDLE folder =
      wide.empty() ? INVALID_HANDLE_VALUE
                   : CreateFileW(wide.c_str(), kFolderAccess, kFolderSharing, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  DWORD attributes = 0;
  if (folder != INVALID_HANDLE_VALUE &&
      (!AttributesOf(folder, &attributes) || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)) {
    CloseHandle(folder);
    return false;
  }
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
  NTSTATUS status = 0;
  const HANDLE file = OpenIn(folder, wide, GENERIC_WRITE | DELETE, 0, FILE_CREATE,
                             FILE_NON_DIRECTORY_FILE, &status);
  if (file != INVALID_HANDLE_VALUE) {
    return Fill(file, data, length) ? SaveResult::kWritten : SaveResult::kNotWritten;
  }
  if (status != kNameCollision) return SaveResult::kNotWritten;
  const Existing existing = LookAt(folder, wide, files);
  if (existing.verdict != SaveResult::kWritten) return existing.verdict;
  // The new bytes go to a file of their own, renamed over the name once
  // whole: until then the old file stays as it was.
  wchar_t temporary[kTemporaryNameBytes];
  const HANDLE fresh = CreateTemporary(folder, temporary);
  if (fresh == INVALID_HANDLE_VALUE) return SaveResult::kNotWritten;
  const bool whole = length >= 0 && WriteAll(fresh, data, length);
  const bool renamed = whole && RenameOver(fresh, folder, wide, existing);
  if (!renamed) DeleteOpened(fresh);
  return CloseHandle(fresh) && renamed ? SaveResult::kWritten : SaveResult::kNotWritten;
}
