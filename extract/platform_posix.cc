#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstring>

#include "extract/platform.h"

namespace {

// A folder is held only to name things in it: O_PATH needs no read
// permission, so a folder we may enter and write but not list still works.
#if defined(O_PATH)
constexpr int kFolderAccess = O_PATH;
#elif defined(O_SEARCH)
constexpr int kFolderAccess = O_SEARCH;
#else
constexpr int kFolderAccess = O_RDONLY;
#endif
constexpr int kFolderFlags = kFolderAccess | O_DIRECTORY | O_CLOEXEC;
constexpr int kCreateFlags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;

// As IdentifyOpenFile gives it, for what stands at a name.
FileIdentity IdentityOf(const struct stat& status) {
  return FileIdentity{static_cast<uint64_t>(status.st_dev), {static_cast<uint64_t>(status.st_ino)}};
}

bool WriteAll(int descriptor, const uint8_t* data, int32_t length) {
  int32_t written = 0;
  while (written < length) {
    const ssize_t count = write(descriptor, data + written, static_cast<size_t>(length - written));
    if (count > 0) {
      written += static_cast<int32_t>(count);
    } else if (count == 0 || errno != EINTR) {
      return false;
    }
  }
  return true;
}

}  // namespace

Arguments TakeArguments(int argc, char** argv) { return Arguments{argc, argv}; }

void PrepareStandardStreams() {
  for (int stream = STDIN_FILENO; stream <= STDERR_FILENO; ++stream) {
    // open() takes the lowest free descriptor: this one. Read-only, so
    // every write to it fails and is reported as a lost stream would be.
    if (fcntl(stream, F_GETFD) == -1 && errno == EBADF) open("/dev/null", O_RDONLY);
  }
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
}

bool StandardOutputIsTerminal() { return isatty(STDOUT_FILENO) == 1; }

bool StandardStreamIsFile(StandardStream stream, const FileIdentity& file) {
  const int descriptor = stream == StandardStream::kOutput ? STDOUT_FILENO : STDERR_FILENO;
  FileIdentity identity;
  return IdentifyOpenFile(descriptor, &identity) && identity == file;
}

bool IsUsableNameHere(const char* name) { return std::strchr(name, '/') == nullptr; }

bool OutputFolder::OpenCurrent() {
  Close();
  const int folder = open(".", kFolderFlags);
  if (folder < 0) return false;
  // A folder removed while we stood in it has no links left.
  struct stat status;
  if (fstat(folder, &status) != 0 || status.st_nlink == 0) {
    close(folder);
    return false;
  }
  handle = folder;
  return true;
}

bool OutputFolder::OpenSubfolder(const OutputFolder& parent, const char* name) {
  Close();
  const int parentFolder = static_cast<int>(parent.handle);
  mkdirat(parentFolder, name,
          0777);  // an existing one is reused; the open judges what stands there
  const int folder = openat(parentFolder, name, kFolderFlags | O_NOFOLLOW);
  if (folder < 0) return false;
  // Held without reading it, so ask whether we may put names in it.
  if (faccessat(folder, ".", W_OK | X_OK, AT_EACCESS) != 0) {
    close(folder);
    return false;
  }
  handle = folder;
  return true;
}

void OutputFolder::Close() {
  if (handle == kNoHandle) return;
  close(static_cast<int>(handle));
  handle = kNoHandle;
}

SaveResult OutputFolder::SaveBuffer(const char* name, const uint8_t* data, int32_t length,
                                    const FileIdentity& d88) const {
  const int folder = static_cast<int>(handle);
  int file = openat(folder, name, kCreateFlags, 0666);
  if (file < 0 && errno == EEXIST) {
    // Something stands at the name; look at it, not at where a link leads.
    struct stat status;
    if (fstatat(folder, name, &status, AT_SYMLINK_NOFOLLOW) == 0) {
      if (IdentityOf(status) == d88) return SaveResult::kIsD88File;
      if (S_ISDIR(status.st_mode)) return SaveResult::kNotWritten;
    }
    if (unlinkat(folder, name, 0) == 0) file = openat(folder, name, kCreateFlags, 0666);
  }
  if (file < 0) return SaveResult::kNotWritten;
  const bool whole = length >= 0 && WriteAll(file, data, length);
  if (close(file) == 0 && whole) return SaveResult::kWritten;
  unlinkat(folder, name, 0);
  return SaveResult::kNotWritten;
}
