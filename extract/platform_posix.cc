#include <errno.h>
#include <fcntl.h>
#include <iconv.h>
#include <langinfo.h>
#include <sys/stat.h>
#include <unistd.h>

#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

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
  return FileIdentity{true, static_cast<uint64_t>(status.st_dev),
                      {static_cast<uint64_t>(status.st_ino), 0}};
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

// Writes `data` into `file`, just made as `name` in `folder`, and closes
// it; a file not written whole or not closed cleanly is removed again.
SaveResult Fill(int folder, const char* name, int file, const uint8_t* data, int32_t length) {
  const bool whole = length >= 0 && WriteAll(file, data, length);
  if (close(file) == 0 && whole) return SaveResult::kWritten;
  unlinkat(folder, name, 0);
  return SaveResult::kNotWritten;
}

volatile sig_atomic_t stopSignal = 0;

extern "C" void NoteStopSignal(int signal) { stopSignal = signal; }

// Whether the mode bits of `folder` let this process add names to it: the
// kernel's own rule, for where faccessat is not allowed to ask it.
bool ModeLetsUsWrite(const struct stat& folder) {
  const uid_t user = geteuid();
  if (user == 0) return true;
  constexpr mode_t kWriteSearch = S_IWUSR | S_IXUSR;
  if (folder.st_uid == user) return (folder.st_mode & kWriteSearch) == kWriteSearch;
  bool inGroup = folder.st_gid == getegid();
  const int count = getgroups(0, nullptr);
  std::vector<gid_t> groups(count > 0 ? static_cast<size_t>(count) : 0);
  if (count > 0 && getgroups(count, groups.data()) == count) {
    for (const gid_t group : groups) inGroup = inGroup || group == folder.st_gid;
  }
  const mode_t bits = inGroup ? (S_IWGRP | S_IXGRP) : (S_IWOTH | S_IXOTH);
  return (folder.st_mode & bits) == bits;
}

// Whether we may add names to the held folder `folder`.
bool MayWriteIn(int folder, const struct stat& status) {
  if (faccessat(folder, ".", W_OK | X_OK, AT_EACCESS) == 0) return true;
  // A system-call filter (a container's) may refuse the question itself.
  return (errno == EPERM || errno == ENOSYS) && ModeLetsUsWrite(status);
}

// Whether others may put folders into `folder` that its sticky bit then
// keeps there: the kernel's protected_regular rule for such folders.
bool OthersMayPlantIn(const struct stat& folder) {
  return (folder.st_mode & S_ISVTX) != 0 && (folder.st_mode & (S_IWGRP | S_IWOTH)) != 0;
}

}  // namespace

Arguments TakeArguments(int argc, char** argv) { return Arguments{argc, argv}; }

bool PrepareStandardStreams() {
  for (int stream = STDIN_FILENO; stream <= STDERR_FILENO; ++stream) {
    if (fcntl(stream, F_GETFD) != -1 || errno != EBADF) continue;
    // A pipe's read end takes the lowest free descriptor, this one: every
    // write to it fails, and it is no file. Its write end is closed again
    // (when it took another closed slot, the next round fills that one).
    // Unlike /dev/null, it needs no file system.
    int ends[2];
    if (pipe(ends) != 0 || ends[0] != stream) return false;
    close(ends[1]);
  }
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
  return true;
}

void WatchStopRequests() {
  struct sigaction noted = {};
  noted.sa_handler = NoteStopSignal;
  sigemptyset(&noted.sa_mask);
  // No SA_RESTART: a write to a full pipe returns, so the run never waits on
  // whoever reads its standard output. A signal the caller ignores (nohup)
  // stays ignored.
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction before;
    if (sigaction(signal, nullptr, &before) == 0 && before.sa_handler != SIG_IGN) {
      sigaction(signal, &noted, nullptr);
    }
  }
}

int StopRequested() { return stopSignal; }

void StopNow(int signal) {
  std::signal(signal, SIG_DFL);
  raise(signal);
  _exit(128 + signal);  // only when the signal could not end the process
}

namespace {

// The locale's character set, asked once: the C library's own is put back
// at once, so nothing else the run does depends on it.
bool LocaleShowsUtf8() {
  const char* const before = std::setlocale(LC_CTYPE, nullptr);
  const std::string saved = before != nullptr ? before : "C";
  const bool utf8 = std::setlocale(LC_CTYPE, "") != nullptr
                        ? std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0
                        : LocaleVariablesNameUtf8();  // a locale named but not installed
  std::setlocale(LC_CTYPE, saved.c_str());
  return utf8;
}

// The converter from code page 932, opened once; null where the system has
// none.
iconv_t Cp932() {
  static const iconv_t converter = [] {
    const iconv_t opened = iconv_open("UTF-32LE", "CP932");
    return opened == reinterpret_cast<iconv_t>(-1) ? iconv_t{} : opened;
  }();
  return converter;
}

}  // namespace

DisplayMode StandardStreamDisplay(StandardStream stream) {
  const int descriptor = stream == StandardStream::kOutput ? STDOUT_FILENO : STDERR_FILENO;
  if (isatty(descriptor) != 1) return DisplayMode{};
  static const bool utf8 = LocaleShowsUtf8() && Cp932() != iconv_t{};
  return DisplayMode{true, utf8};
}

bool DecodeCp932(const char* bytes, int length, char32_t* character) {
  const iconv_t converter = Cp932();
  if (converter == iconv_t{} || length < 1 || length > 2) return false;
  char in[2] = {bytes[0], length > 1 ? bytes[1] : '\0'};
  unsigned char out[4];
  char* inAt = in;
  char* outAt = reinterpret_cast<char*>(out);
  size_t inLeft = static_cast<size_t>(length), outLeft = sizeof out;
  iconv(converter, nullptr, nullptr, nullptr, nullptr);
  if (iconv(converter, &inAt, &inLeft, &outAt, &outLeft) == static_cast<size_t>(-1) ||
      inLeft != 0 || outLeft != 0) {
    return false;
  }
  *character = static_cast<char32_t>(out[0] | out[1] << 8 | out[2] << 16 | out[3] << 24);
  return true;
}

bool WriteStandardStream(StandardStream stream, const char* text, size_t length) {
  std::FILE* file = stream == StandardStream::kOutput ? stdout : stderr;
  return std::fwrite(text, 1, length, file) == length;
}

StreamTarget IdentifyStandardStream(StandardStream stream) {
  const int descriptor = stream == StandardStream::kOutput ? STDOUT_FILENO : STDERR_FILENO;
  struct stat status;
  // What cannot be looked at may be a file.
  if (fstat(descriptor, &status) != 0) return StreamTarget{true, FileIdentity{}};
  if (!S_ISREG(status.st_mode)) return StreamTarget{};
  return StreamTarget{true, IdentityOf(status)};
}

bool IsUsableNameHere(const char* name) { return std::strchr(name, '/') == nullptr; }

bool OutputFolder::OpenCurrent() { return OpenPath("."); }

bool OutputFolder::OpenPath(const char* path) {
  Close();
  const int folder = open(path, kFolderFlags);
  struct stat status;
  // A folder removed while we stood in it has no links left.
  if (folder < 0 || fstat(folder, &status) != 0 || status.st_nlink == 0) {
    if (folder >= 0) close(folder);
    return false;
  }
  Hold(folder, status.st_uid, OthersMayPlantIn(status));
  return true;
}

bool OutputFolder::OpenSubfolder(const OutputFolder& parent, const char* name) {
  Close();
  const int parentFolder = static_cast<int>(parent.handle);
  // An existing one is reused; the open judges what stands there.
  mkdirat(parentFolder, name, 0777);
  const int folder = openat(parentFolder, name, kFolderFlags | O_NOFOLLOW);
  if (folder < 0) return false;
  // Fail closed: a folder that cannot be looked at is not entered.
  struct stat status;
  const bool seen = fstat(folder, &status) == 0;
  const bool planted = seen && parent.othersMayPlant && status.st_uid != geteuid() &&
                       status.st_uid != parent.ownerId;
  if (!seen || planted || !MayWriteIn(folder, status)) {
    close(folder);
    return false;
  }
  Hold(folder, status.st_uid, OthersMayPlantIn(status));
  return true;
}

void OutputFolder::Close() {
  if (handle == kNoHandle) return;
  close(static_cast<int>(handle));
  handle = kNoHandle;
}

SaveResult OutputFolder::SaveBuffer(const char* name, const uint8_t* data, int32_t length,
                                    const ProtectedFiles& files) const {
  const int folder = static_cast<int>(handle);
  int file = openat(folder, name, kCreateFlags, 0666);
  if (file >= 0) return Fill(folder, name, file, data, length);
  if (errno != EEXIST) return SaveResult::kNotWritten;
  // Something stands at the name; look at it, not at where a link leads.
  struct stat status;
  const bool seen = fstatat(folder, name, &status, AT_SYMLINK_NOFOLLOW) == 0;
  const SaveResult verdict = JudgeExistingName(seen ? IdentityOf(status) : FileIdentity{},
                                               seen && S_ISDIR(status.st_mode), files);
  if (verdict != SaveResult::kWritten) return verdict;
  // The new bytes go to a file of their own, renamed over the name once
  // whole: until then the old file stays as it was, and a link there is
  // replaced, never followed.
  char temporary[kTemporaryNameBytes];
  for (int attempt = 0; file < 0 && attempt < kTemporaryAttempts; ++attempt) {
    FormatTemporaryName(temporary, static_cast<long>(getpid()), attempt);
    file = openat(folder, temporary, kCreateFlags, 0666);
    if (file < 0 && errno != EEXIST) break;
  }
  if (file < 0 || Fill(folder, temporary, file, data, length) != SaveResult::kWritten) {
    return SaveResult::kNotWritten;
  }
  if (renameat(folder, temporary, folder, name) == 0) return SaveResult::kWritten;
  unlinkat(folder, temporary, 0);
  return SaveResult::kNotWritten;
}
