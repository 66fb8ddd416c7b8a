// Sector reads of the current image. A track is a chain of records with no
// stored length: a walk visits the records in stored order from the track's
// first one and ends after the record whose position equals that record's
// sector count minus 1, at a record whose sector count is 0 (sector reads
// only), where a header would run past the end of the file, or after
// kMaxWalkRecords records, past which no record can end it any more.

#include "image/d88_file.h"

namespace {

bool IsByte(int32_t value) { return value >= 0 && value <= 255; }

constexpr uint32_t kChnMask = 0xFF00FFFF;  // C, H and N of a packed C/H/R/N
constexpr int32_t kScanBlock = 64;

// Whether any of the kScanBlock packed C/H/R/N at `chrns` has C, H and N of
// `chnKey`. No branch inside: the compiler turns it into vector compares.
bool HasChnIn(const uint32_t* chrns, uint32_t chnKey) {
  uint32_t matches = 0;
  for (int32_t i = 0; i < kScanBlock; ++i) {
    matches |= static_cast<uint32_t>((chrns[i] & kChnMask) == chnKey);
  }
  return matches != 0;
}

}  // namespace

void D88File::SetSectorRange(int32_t first, int32_t last) {
  firstSector = first;
  lastSector = last;
}

bool D88File::LocateTrack(int32_t track, int64_t* startInFile) const {
  if (!file.is_open() || track < 0 || track >= kTrackCount) return false;
  const int32_t offsetInImage = trackOffsets[track];
  // An offset of 0x80000000 or more is negative here; it would lead before
  // the image, so it makes the track unusable like an absent one.
  if (offsetInImage <= 0 || offsetInImage > diskSize) return false;
  *startInFile = static_cast<int64_t>(imageOffset) + offsetInImage;
  return true;
}

int32_t D88File::CountWalkRecords(int32_t first) {
  int32_t position = 0;
  while (position < kMaxWalkRecords) {
    const int32_t entry = first + position;
    if (!HasChainEntry(&chain, &cache, file, entry)) break;
    const int32_t sectorCount = chain.sectorCount[entry];
    if (sectorCount == 0) break;
    ++position;
    if (position == sectorCount) break;
  }
  return position;
}

// Every read of a track's sectors with the same C, H and N walks the same
// records, so one walk answers them all: the first record of each sector
// number is the one a walk looking for that number would stop at. Where the
// walk ends does not depend on what it looks for, and all tracks of an image
// often start at the same record, so that is remembered for the last start.
void D88File::FindTrackSectors(int64_t startInFile, uint32_t chnKey) {
  trackSectors.valid = true;
  trackSectors.startInFile = startInFile;
  trackSectors.chnKey = chnKey;
  for (int32_t& size : trackSectors.dataSize) size = -1;

  const int32_t first = FindWalkStart(&chain, startInFile);
  if (lastWalk.startInFile != startInFile) {
    lastWalk.startInFile = startInFile;
    lastWalk.records = CountWalkRecords(first);
  } else if (lastWalk.records > 0) {
    // The chain may have been started afresh since: read its headers again.
    HasChainEntry(&chain, &cache, file, first + lastWalk.records - 1);
  }
  const uint32_t* const chrns = chain.chrn + first;
  const int32_t records = lastWalk.records;
  // Most records of a long walk match nothing: skip them a block at a time,
  // and look at a block with a match record by record.
  for (int32_t block = 0; block < records; block += kScanBlock) {
    const int32_t end = block + kScanBlock < records ? block + kScanBlock : records;
    if (end - block == kScanBlock && !HasChnIn(chrns + block, chnKey)) continue;
    for (int32_t position = block; position < end; ++position) {
      const uint32_t chrn = chrns[position];
      if ((chrn & kChnMask) != chnKey) continue;
      const int r = (chrn >> 16) & 0xFF;
      if (trackSectors.dataSize[r] < 0) {
        const int32_t entry = first + position;
        trackSectors.dataInFile[r] = chain.positionInFile[entry] + kRecordHeaderBytes;
        trackSectors.dataSize[r] = chain.dataSize[entry];
      }
    }
  }
}

int32_t D88File::ReadSector(int32_t track, int32_t c, int32_t h, int32_t r, int32_t n,
                            uint8_t* buffer, int32_t maxLength) {
  int64_t startInFile = 0;
  if (!LocateTrack(track, &startInFile)) return 0;
  if (!IsByte(c) || !IsByte(h) || !IsByte(r) || !IsByte(n) || maxLength <= 0) return 0;

  const uint32_t chnKey = PackChrn(c, h, 0, n);
  if (!trackSectors.valid || trackSectors.startInFile != startInFile ||
      trackSectors.chnKey != chnKey) {
    FindTrackSectors(startInFile, chnKey);
  }
  const int32_t dataSize = trackSectors.dataSize[r];
  if (dataSize <= 0) return 0;
  const int32_t length = dataSize < maxLength ? dataSize : maxLength;
  // The count is the length asked of the file, not what arrived: data cut
  // short by the end of a truncated file still counts in full, so a run of
  // sectors goes on to the track's later sectors, which may be intact. The
  // bytes that did not arrive keep what the buffer held.
  ReadThroughCache(&cache, file, trackSectors.dataInFile[r], buffer, length);
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

  int32_t written = 0;
  const int32_t first = FindWalkStart(&chain, startInFile);
  for (int32_t position = 0; position < kMaxWalkRecords && length - written >= 4; ++position) {
    const int32_t entry = first + position;
    if (!HasChainEntry(&chain, &cache, file, entry)) break;
    const uint32_t chrn = chain.chrn[entry];
    for (int i = 0; i < 4; ++i) buffer[written + i] = static_cast<uint8_t>(chrn >> (8 * i));
    written += 4;
    if (position == chain.sectorCount[entry] - 1) break;
  }
  return written;
}
