// Reads of the file D88_FAIL_FILE that cover its byte D88_FAIL_AT fail with EIO, whatever
// reads come first. In the test binary, and preloaded into the tool; pread fortified inline
// in the headers is set aside for these definitions.
#undef _FORTIFY_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstdlib>

namespace {

using Pread = ssize_t (*)(int, void*, size_t, off_t);

bool Covers(int descriptor, off_t offset, size_t count) {
  const char *path = std::getenv("D88_FAIL_FILE"), *at = std::getenv("D88_FAIL_AT");
  struct stat file, open;
  if (path == nullptr || at == nullptr || stat(path, &file) != 0 || fstat(descriptor, &open) != 0 ||
      file.st_dev != open.st_dev || file.st_ino != open.st_ino) {
    return false;
  }
  const long long position = std::atoll(at);
  return offset <= position && position < offset + static_cast<long long>(count);
}

ssize_t ReadOrFail(Pread real, int descriptor, void* buffer, size_t count, off_t offset) {
  if (!Covers(descriptor, offset, count)) return real(descriptor, buffer, count, offset);
  errno = EIO;
  return -1;
}

}  // namespace

extern "C" ssize_t pread(int descriptor, void* buffer, size_t count, off_t offset) {
  static const Pread real = reinterpret_cast<Pread>(dlsym(RTLD_NEXT, "pread"));
  return ReadOrFail(real, descriptor, buffer, count, offset);
}

extern "C" ssize_t pread64(int descriptor, void* buffer, size_t count, off_t offset) {
  static const Pread real = reinterpret_cast<Pread>(dlsym(RTLD_NEXT, "pread64"));
  return ReadOrFail(real, descriptor, buffer, count, offset);
}
