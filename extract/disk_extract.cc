#include "extract/disk_extract.h"

#include <cstdio>
#include <cstring>

#include "extract/console.h"
#include "extract/disk_directory.h"
#include "extract/file_names.h"
#include "extract/messages.h"

uint8_t DiskBuffer[kDiskBufferBytes];
uint8_t DirectoryBuffer[kTrackBytes];

namespace {

// Reads one track into `destination` as if it had been cleared first:
// whatever the read does not deliver is zero, not what the previous image
// left there, or one disk's files could carry another disk's data. A whole
// track needs no clearing; a short one is cleared and read again, which
// writes the same bytes as the first time.
void ReadTrackOnZeros(D88File& d88, int32_t track, int32_t c, int32_t h, uint8_t* destination) {
  if (d88.ReadSectors(track, c, h, 1, 3, destination, kTrackBytes) == kTrackBytes) return;
  std::memset(destination, 0, kTrackBytes);
  d88.ReadSectors(track, c, h, 1, 3, destination, kTrackBytes);
}

}  // namespace

void LoadDisk(D88File& d88) {
  d88.SetSectorRange(1, 8);
  std::memset(DiskBuffer, 0, kTrackBytes);  // track 0 is never read
  for (int32_t track = 1; track < kLoadedTracks; ++track) {
    ReadTrackOnZeros(d88, track, track / 2, track % 2, DiskBuffer + track * kTrackBytes);
  }
  ReadTrackOnZeros(d88, 1, 0, 1, DirectoryBuffer);
}

namespace {

// Lists and writes the file of directory entry `index`; false if it was not
// written.
bool ExtractEntry(const DirEntry& entry, int32_t imageIndex, int index) {
  std::printf(kListingFormat, entry.name, static_cast<unsigned>(entry.startUnit),
              static_cast<unsigned>(entry.endUnit), static_cast<unsigned>(entry.sizeBytes));
  const int64_t startByte = static_cast<int64_t>(entry.startUnit) * kUnitBytes;
  if (entry.sizeBytes < 0 || startByte + entry.sizeBytes > kDiskBufferBytes) {
    PrintError(kEntryOutsideDiskFormat, static_cast<int>(imageIndex), index, entry.name);
    return false;
  }
  if (!IsUsableFileName(entry.name)) {
    PrintError(kEntryNameUnusableFormat, static_cast<int>(imageIndex), index, entry.name);
    return false;
  }
  if (!SaveBuffer(entry.name, DiskBuffer + startByte, entry.sizeBytes)) {
    PrintError(kEntryWriteFailedFormat, static_cast<int>(imageIndex), index, entry.name);
    return false;
  }
  return true;
}

}  // namespace

bool ExtractImage(D88File& d88, int32_t imageIndex) {
  LoadDisk(d88);
  bool everythingWritten = true;
  for (int index = 0; index < kDirEntryCount; ++index) {
    const uint8_t* bytes = DirectoryBuffer + index * kDirEntryBytes;
    if (bytes[0] == kDirEndMark) break;
    if (!ExtractEntry(DecodeDirEntry(bytes), imageIndex, index)) everythingWritten = false;
  }
  return everythingWritten;
}

bool SaveBuffer(const char* name, const uint8_t* data, int32_t length) {
  std::FILE* file = CreateOutputFile(name);
  if (file == nullptr) return false;
  // One write straight from the caller's buffer, no copy through stdio's.
  std::setvbuf(file, nullptr, _IONBF, 0);
  const size_t wanted = length > 0 ? static_cast<size_t>(length) : 0;
  const size_t written = wanted > 0 ? std::fwrite(data, 1, wanted, file) : 0;
  const bool closed = std::fclose(file) == 0;
  return closed && written == wanted;
}

bool SaveSectors(D88File& d88, const char* name, int32_t track, int32_t c, int32_t h, int32_t r,
                 int32_t n, int32_t offset, int32_t length) {
  if (offset < 0 || length < 0 || static_cast<int64_t>(offset) + length > kDiskBufferBytes) {
    return false;
  }
  if (d88.ReadSectors(track, c, h, r, n, DiskBuffer, offset + length) == 0) return false;
  return SaveBuffer(name, DiskBuffer + offset, length);
}
