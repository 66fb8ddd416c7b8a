#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "image/input_file.h"

namespace {

FileIdentity IdentityOf(const struct stat& status) {
  return FileIdentity{true, static_cast<uint64_t>(status.st_dev),
                      {static_cast<uint64_t>(status.st_ino), 0}};
}

}  // namespace

FileIdentity IdentifyOpenFile(NativeHandle handle) {
  struct stat status;
  return fstat(static_cast<int>(handle), &status) == 0 ? IdentityOf(status) : FileIdentity{};
}

bool InputFile::Open(const char* path) {
  Close();
  // O_NONBLOCK: a FIFO renamed onto the path opens at once instead of
  // waiting for a writer, and is then refused below. Reads of a regular
  // file never block less for it.
  const int descriptor = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (descriptor < 0) return false;
  struct stat status;
  if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
    close(descriptor);
    return false;
  }
  handle = descriptor;
  identity = IdentityOf(status);
  return true;
}

void InputFile::Close() {
  if (!IsOpen()) return;
  close(static_cast<int>(handle));
  handle = kNoHandle;
  identity = FileIdentity{};
}

int64_t InputFile::ReadAt(int64_t positionInFile, uint8_t* destination, int64_t length) {
  if (!IsOpen()) return -1;
  int64_t delivered = 0;
  // A short read is not the end of the file (a network file system, a
  // signal): only a read that delivers nothing is.
  while (delivered < length) {
    const ssize_t arrived = pread(static_cast<int>(handle), destination + delivered,
                                  static_cast<size_t>(length - delivered),
                                  static_cast<off_t>(positionInFile + delivered));
    if (arrived > 0) {
      delivered += arrived;
    } else if (arrived == 0) {
      break;
    } else if (errno != EINTR) {
      return -1;
    }
  }
  return delivered;
}
