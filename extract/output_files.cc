#include "extract/output_files.h"

#include <cstdio>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "extract/file_names.h"
#include "image/native_path.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32

bool IdentifyHandle(HANDLE handle, FileIdentity* identity) {
  BY_HANDLE_FILE_INFORMATION information;
  const bool known = GetFileInformationByHandle(handle, &information) != 0;
  CloseHandle(handle);
  if (!known) return false;
  identity->volume = information.dwVolumeSerialNumber;
  identity->file =
      static_cast<uint64_t>(information.nFileIndexHigh) << 32 | information.nFileIndexLow;
  return true;
}

// Opens no data, only the file's identity; backup semantics let it open a
// directory too.
HANDLE OpenForIdentity(const wchar_t* path) {
  return CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// The output file `name`, created afresh; null when it cannot be.
std::FILE* CreateFresh(const char* name) {
  wchar_t wide[kMaxWideName];
  if (!DecodeShiftJis(name, wide)) return nullptr;
  DeleteFileW(wide);  // fails on a directory, which CREATE_NEW then refuses
  const HANDLE handle =
      CreateFileW(wide, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY);
  if (descriptor < 0) {
    CloseHandle(handle);
    return nullptr;
  }
  std::FILE* file = _fdopen(descriptor, "wb");
  if (file == nullptr) _close(descriptor);
  return file;
}

#else

bool IdentifyStat(const struct stat& status, FileIdentity* identity) {
  identity->volume = static_cast<uint64_t>(status.st_dev);
  identity->file = static_cast<uint64_t>(status.st_ino);
  return true;
}

// The output file `name`, created afresh; null when it cannot be.
std::FILE* CreateFresh(const char* name) {
  // A directory cannot be unlinked, and O_EXCL then refuses it.
  unlink(name);
  const int descriptor = open(name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (descriptor < 0) return nullptr;
  std::FILE* file = fdopen(descriptor, "wb");
  if (file == nullptr) close(descriptor);
  return file;
}

#endif

}  // namespace

bool IdentifyPath(const char* path, FileIdentity* identity) {
#ifdef _WIN32
  const HANDLE handle = OpenForIdentity(NativePath(path).c_str());
  return handle != INVALID_HANDLE_VALUE && IdentifyHandle(handle, identity);
#else
  struct stat status;
  return stat(path, &status) == 0 && IdentifyStat(status, identity);
#endif
}

bool NameIsFile(const char* name, const FileIdentity& identity) {
  FileIdentity found;
#ifdef _WIN32
  wchar_t wide[kMaxWideName];
  if (!DecodeShiftJis(name, wide)) return false;
  const HANDLE handle = OpenForIdentity(wide);
  if (handle == INVALID_HANDLE_VALUE || !IdentifyHandle(handle, &found)) return false;
#else
  struct stat status;
  if (stat(name, &status) != 0 || !IdentifyStat(status, &found)) return false;
#endif
  return found.volume == identity.volume && found.file == identity.file;
}

bool SaveBuffer(const char* name, const uint8_t* data, int32_t length) {
  std::FILE* file = CreateFresh(name);
  if (file == nullptr) return false;
  // One write straight from the caller's buffer, no copy through stdio's.
  std::setvbuf(file, nullptr, _IONBF, 0);
  const size_t wanted = length > 0 ? static_cast<size_t>(length) : 0;
  const size_t written = wanted > 0 ? std::fwrite(data, 1, wanted, file) : 0;
  const bool closed = std::fclose(file) == 0;
  return closed && written == wanted;
}
