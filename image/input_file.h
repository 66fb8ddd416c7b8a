// InputFile: the D88 file as the reader holds it, and the platform seam for
// reading it (input_file_posix.cc, input_file_win32.cc). The file is opened
// once; what it is, which file it is and its bytes are then asked of what
// was opened, never of the path again, so a name swapped for something else
// after the open changes nothing.
#pragma once

#include <cstdint>

#include "image/native_handle.h"

class InputFile {
 public:
  InputFile() = default;
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  ~InputFile() { Close(); }

  // Opens the file at `path` (its bytes as given; UTF-8 on Windows) for
  // reading, without waiting for a writer and without becoming a
  // controlling terminal, and keeps it only if it is a regular file once
  // links are followed. False, with nothing open, when it cannot be opened
  // or is anything else (a directory, a FIFO, a pipe, a device). A file open
  // before is closed first.
  bool Open(const char* path);
  void Close();
  bool IsOpen() const { return handle != kNoHandle; }

  // Copies up to `length` bytes from `positionInFile` into `destination` and
  // returns how many arrived: fewer than `length` only where the file ends.
  // -1 when the system reports a read error; the destination bytes are then
  // unspecified. Neither number may be negative.
  int64_t ReadAt(int64_t positionInFile, uint8_t* destination, int64_t length);

  // The open file's identity, taken by the same query that found it a
  // regular file; unknown where the system could not give one (never on
  // POSIX).
  const FileIdentity& GetIdentity() const { return identity; }

 private:
  NativeHandle handle = kNoHandle;
  FileIdentity identity;
};
