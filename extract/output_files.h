// Writing the extracted files, and telling the D88 file apart from them.
// The platform seam for file identity and for creating a file afresh.
#pragma once

#include <cstdint>

// What makes a file the same file under any name: the device and inode on
// POSIX; the volume serial number and file index on Windows.
struct FileIdentity {
  uint64_t volume;
  uint64_t file;
};

// The identity of the file at `path` (as given to D88File::Open: UTF-8 on
// Windows), links followed. False when it cannot be told.
bool IdentifyPath(const char* path, FileIdentity* identity);

// Whether the directory entry name `name` in the current directory leads,
// links followed, to the file `identity`.
bool NameIsFile(const char* name, const FileIdentity& identity);

// Writes `length` bytes of `data` as the file `name` in the current
// directory, with one write. Whatever non-directory stands at the name (a
// file, a link, a FIFO, a device node) is removed first and the file is
// created afresh, exclusively and without following links, so that the
// bytes can land nowhere else. False if the name cannot be removed or
// created (a directory stands there) or the file is written short.
bool SaveBuffer(const char* name, const uint8_t* data, int32_t length);
