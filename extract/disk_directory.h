// The directory of a 2HD disk: 512 entries of 16 bytes filling track 1.
#pragma once

#include <cstdint>

#include "extract/disk_geometry.h"

// Directory entry:
//   0x00  6     name, padded with spaces; 0xFF in byte 0 ends the directory
//   0x0C  2 LE  first unit of the file (1 KiB units of the disk)
//   0x0E  2 LE  last unit of the file, inclusive
constexpr int kDirEntryBytes = 16;
constexpr int kDirEntryCount = kTrackBytes / kDirEntryBytes;  // 512
constexpr int kDirNameBytes = 6;
constexpr int kDirStartOffset = 0x0C;
constexpr int kDirEndOffset = 0x0E;
constexpr uint8_t kDirEndMark = 0xFF;

struct DirEntry {
  // Bytes 0 to 5 up to the first space or 0x00, terminated. Other bytes,
  // Shift_JIS among them, stay as they are.
  char name[kDirNameBytes + 1];
  uint16_t startUnit;
  uint16_t endUnit;
  // (end - start + 1) units in bytes; negative when end < start - 1.
  int32_t sizeBytes;
};

// `bytes` holds one kDirEntryBytes entry.
DirEntry DecodeDirEntry(const uint8_t* bytes);

// What becomes of an entry, as far as the disk alone can tell: written, or
// not because its units run past the disk or end before they start (a
// negative size), or because its name cannot be a file here (see
// IsUsableFileName).
enum class EntryVerdict { kWrite, kOutsideDisk, kUnusableName };
EntryVerdict JudgeEntry(const DirEntry& entry);
