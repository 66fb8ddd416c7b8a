// InputFile: the D88 file as the reader holds it, and the platform seam for
// reading it (input_file_posix.cc, input_file_win32.cc). The file is opened
// once; what it is, which file it is and its bytes are then asked of what
// was opened, never of the path again, so a name swapped for something else
// after the open changes nothing.
#pragma once

#include <cstdint>

// What makes a file the same file under any name: the device and inode on
// POSIX; the volume serial number and the file ID on Windows. Unknown when
// the system could not tell.
struct FileIdentity {
  bool known = false;
  uint64_t volume = 0;
  uint64_t file[2] = {};
};

// Whether `a` and `b` may be one file. Where either is unknown the answer
// cannot be no, so callers that must protect a file refuse on their own
// (IsKnown first). A volume of 0 is one the system could not name: the file
// IDs alone then decide, erring towards "the same".
inline bool MayBeSameFile(const FileIdentity& a, const FileIdentity& b) {
  if (!a.known || !b.known) return true;
  const bool sameVolume = a.volume == b.volume || a.volume == 0 || b.volume == 0;
  return sameVolume && a.file[0] == b.file[0] && a.file[1] == b.file[1];
}

// The identity of the open file `handle` (a descriptor on POSIX, a HANDLE on
// Windows); unknown when the system cannot tell.
FileIdentity IdentifyOpenFile(intptr_t handle);

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
  static constexpr intptr_t kNoHandle = -1;
  intptr_t handle = kNoHandle;  // a descriptor on POSIX, a HANDLE on Windows
  FileIdentity identity;
};
