#include "extract/loaded_disk.h"

#include <cstring>

#include "extract/disk_geometry.h"
#include "extract/platform.h"
#include "image/d88_file.h"

namespace {

// Unit u of the disk at byte u * kUnitBytes; track 0 stays zero.
uint8_t DiskBuffer[kDiskBytes];
// The directory track, read on its own.
uint8_t DirectoryBuffer[kTrackBytes];
LoadedDisk Loaded;
// Static storage is zero when the process starts, and only LoadDisk and
// SaveSectors write the buffers: until one of them has, clearing them would
// only touch memory (1.2 MB, a few milliseconds of page faults) for nothing.
bool buffersWritten = false;

void ClearBuffers() {
  if (buffersWritten) {
    std::memset(DiskBuffer, 0, sizeof DiskBuffer);
    std::memset(DirectoryBuffer, 0, sizeof DirectoryBuffer);
  }
  buffersWritten = true;
}

}  // namespace

const LoadedDisk* LoadDisk(D88File& d88) {
  // Every disk starts from zeros, or one disk's files could carry the
  // previous disk's bytes wherever this one holds nothing. A read's count
  // cannot tell what arrived (data cut by the end of the file still counts
  // in full), so nothing short of clearing both buffers is safe.
  ClearBuffers();
  d88.SetSectorRange(kFirstSector, kLastSector);
  for (int32_t track = kFirstLoadedTrack; track < kLoadedTracks; ++track) {
    d88.ReadSectors(track, CylinderOfTrack(track), HeadOfTrack(track), kFirstSector,
                    kSectorSizeCode, DiskBuffer + track * kTrackBytes, kTrackBytes);
  }
  // The directory gets a read of its own rather than a copy of track 1 out
  // of the disk buffer. Both reads walk the same records of a file that does
  // not change during the run, so the bytes are the same either way; this
  // is how the format's directory is loaded, kept so that the directory
  // never depends on the disk buffer, and it costs little: the track's
  // records are in memory already, only its 8 KiB of data are read again.
  d88.ReadSectors(kDirectoryTrack, CylinderOfTrack(kDirectoryTrack), HeadOfTrack(kDirectoryTrack),
                  kFirstSector, kSectorSizeCode, DirectoryBuffer, kTrackBytes);
  // A disk loaded only in part would give files that look whole.
  Loaded.entryCount = 0;
  if (d88.ReadFailed()) return nullptr;
  for (int index = 0; index < kDirEntryCount; ++index) {
    const uint8_t* bytes = DirectoryBuffer + index * kDirEntryBytes;
    if (bytes[0] == kDirEndMark) break;
    const DirEntry entry = DecodeDirEntry(bytes);
    Loaded.entries[Loaded.entryCount++] = DiskEntry{entry, JudgeEntry(entry)};
  }
  return &Loaded;
}

const uint8_t* BytesOf(const DirEntry& entry) {
  return DiskBuffer + static_cast<int64_t>(entry.startUnit) * kUnitBytes;
}

bool SaveSectors(D88File& d88, const char* name, int32_t track, int32_t c, int32_t h, int32_t r,
                 int32_t n, int32_t offset, int32_t length) {
  if (offset < 0 || length < 0 || static_cast<int64_t>(offset) + length > kDiskBytes) {
    return false;
  }
  // Bytes the run does not deliver are written as zeros, never as what an
  // earlier read left in the buffer.
  std::memset(DiskBuffer, 0, static_cast<size_t>(offset) + static_cast<size_t>(length));
  buffersWritten = true;
  if (d88.ReadSectors(track, c, h, r, n, DiskBuffer, offset + length) == 0) return false;
  // A stream that is a file we cannot name may be the D88 file: no existing
  // name is replaced then.
  const StreamTarget output = IdentifyStandardStream(StandardStream::kOutput);
  const StreamTarget error = IdentifyStandardStream(StandardStream::kError);
  const bool streamsKnown = (!output.isFile || output.identity.known) &&
                            (!error.isFile || error.identity.known);
  const ProtectedFiles files{streamsKnown ? d88.GetFileIdentity() : FileIdentity{},
                             output.identity, error.identity};
  OutputFolder current;
  return !d88.ReadFailed() && current.OpenCurrent() &&
         current.SaveBuffer(name, DiskBuffer + offset, length, files) == SaveResult::kWritten;
}
