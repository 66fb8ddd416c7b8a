// Sector reads of the current image. A sector is found by walking its
// track's records in stored order (track_walk.h says where a walk ends); the
// read cache answers each walk as the plain walk over the file would.

#include <cstdint>

#include "image/d88_file.h"

namespace {

bool IsByte(int32_t value) { return value >= 0 && value <= 255; }

}  // namespace

void D88File::SetSectorRange(int32_t first, int32_t last) {
  firstSector = first;
  lastSector = last;
}

bool D88File::LocateTrack(int32_t track, int64_t* startInFile) const {
  if (!file.IsOpen() || track < 0 || track >= kTrackCount) return false;
  const int32_t offsetInImage = trackOffsets[track];
  // An offset of 0x80000000 or more is negative here; it would lead before
  // the image, so it makes the track unusable like an absent one.
  if (offsetInImage <= 0 || offsetInImage > diskSize) return false;
  *startInFile = static_cast<int64_t>(imageOffset) + offsetInImage;
  return true;
}

int32_t D88File::ReadSector(int32_t track, int32_t c, int32_t h, int32_t r, int32_t n,
                            uint8_t* buffer, int32_t maxLength) {
  int64_t startInFile = 0;
  if (!LocateTrack(track, &startInFile)) return 0;
  if (!IsByte(c) || !IsByte(h) || !IsByte(r) || !IsByte(n) || maxLength <= 0) return 0;
  SectorData sector;
  if (!cache.FindSector(file, startInFile, c, h, r, n, &sector)) return 0;
  const int32_t length = sector.sizeBytes < maxLength ? sector.sizeBytes : maxLength;
  // The count is the length asked of the file, not what arrived: data cut
  // short by the end of a truncated file still counts in full, so a run of
  // sectors goes on to the track's later sectors, which may be intact. The
  // bytes that did not arrive keep what the buffer held.
  if (length > 0) cache.ReadBytes(file, sector.positionInFile, buffer, length);
  return length;
}

int32_t D88File::ReadSectors(int32_t track, int32_t c, int32_t h, int32_t r, int32_t n,
                             uint8_t* buffer, int32_t length) {
  if (n < 0 || n > 23 || length <= 0) return 0;  // 128 << n must stay a positive count
  int32_t chunk = 128 << n;
  int32_t delivered = 0;
  while (delivered < length) {
    if (length - delivered < chunk) chunk = length - delivered;
    if (ReadSector(track, c, h, r, n, buffer + delivered, chunk) < chunk) break;
    delivered += chunk;
    // A sector was found, so track, c, h and r are all small here: no step overflows.
    if (r == lastSector) {
      ++track;
      if (h == 0) {
        h = 1;
      } else {
        h = 0;
        ++c;
      }
      r = firstSector;
    } else {
      ++r;
    }
  }
  return delivered;
}

int32_t D88File::ReadSectorIds(int32_t track, uint8_t* buffer, int32_t length) {
  int64_t startInFile = 0;
  if (!LocateTrack(track, &startInFile)) return 0;
  return cache.ReadIds(file, startInFile, buffer, length);
}
