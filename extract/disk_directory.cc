#include "extract/disk_directory.h"

#include "extract/disk_geometry.h"
#include "extract/file_names.h"
#include "image/byte_order.h"

DirEntry DecodeDirEntry(const uint8_t* bytes) {
  DirEntry entry;
  int length = 0;
  while (length < kDirNameBytes && bytes[length] != ' ') {
    entry.name[length] = static_cast<char>(bytes[length]);
    ++length;
  }
  entry.name[length] = '\0';  // a copied 0x00 ends the name earlier
  entry.startUnit = ReadLE16(bytes + kDirStartOffset);
  entry.endUnit = ReadLE16(bytes + kDirEndOffset);
  entry.sizeBytes = (entry.endUnit - entry.startUnit + 1) * kUnitBytes;
  return entry;
}

EntryVerdict JudgeEntry(const DirEntry& entry) {
  const int64_t startByte = static_cast<int64_t>(entry.startUnit) * kUnitBytes;
  if (entry.sizeBytes < 0 || startByte + entry.sizeBytes > kDiskBytes) {
    return EntryVerdict::kOutsideDisk;
  }
  return IsUsableFileName(entry.name) ? EntryVerdict::kWrite : EntryVerdict::kUnusableName;
}
