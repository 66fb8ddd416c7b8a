#include "image/track_reader.h"

namespace {

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

bool TrackReader::Open(const char* path) {
  chain.Forget();
  ForgetWalks();
  return file.Open(path);
}

void TrackReader::Close() {
  file.Close();
  chain.Forget();
  ForgetWalks();
}

void TrackReader::ForgetWalks() {
  lastSectorWalk.startInFile = -1;
  trackSectors.valid = false;
}

int32_t TrackReader::WalkLength(int32_t first, WalkKind kind, int32_t maxRecords) {
  const int32_t limit = maxRecords < kMaxWalkRecords ? maxRecords : kMaxWalkRecords;
  int32_t position = 0;
  while (position < limit) {
    const int32_t entry = first + position;
    if (!chain.Load(file, entry)) break;  // a short header is no record
    const int32_t sectorCount = chain.SectorCount(entry);
    if (kind == WalkKind::kSectorRead && EndsSectorReadBefore(sectorCount)) break;
    ++position;
    if (IsLastRecordOfWalk(position - 1, sectorCount)) break;
  }
  return position;
}

void TrackReader::IndexTrackSectors(int64_t trackStartInFile, uint32_t chnKey) {
  trackSectors.valid = true;
  trackSectors.startInFile = trackStartInFile;
  trackSectors.chnKey = chnKey;
  for (int32_t& size : trackSectors.dataSize) size = -1;

  const int32_t first = chain.FindWalkStart(trackStartInFile);
  if (lastSectorWalk.startInFile != trackStartInFile) {
    lastSectorWalk.startInFile = trackStartInFile;
    lastSectorWalk.records = WalkLength(first, WalkKind::kSectorRead, kMaxWalkRecords);
  } else if (lastSectorWalk.records > 0) {
    // The remembered length holds for this start, but the chain may have
    // been started afresh since (an ID list elsewhere): load its entries.
    chain.Load(file, first + lastSectorWalk.records - 1);
  }
  const uint32_t* const chrns = chain.ChrnFrom(first);
  const int32_t records = lastSectorWalk.records;
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
        trackSectors.dataInFile[r] = chain.PositionInFile(entry) + kRecordHeaderBytes;
        trackSectors.dataSize[r] = chain.DataSize(entry);
      }
    }
  }
}

bool TrackReader::FindSector(int64_t trackStartInFile, uint32_t c, uint32_t h, uint32_t r,
                             uint32_t n, SectorData* found) {
  const uint32_t chnKey = PackChrn(c, h, 0, n);
  if (!trackSectors.valid || trackSectors.startInFile != trackStartInFile ||
      trackSectors.chnKey != chnKey) {
    IndexTrackSectors(trackStartInFile, chnKey);
  }
  if (trackSectors.dataSize[r] < 0) return false;
  found->positionInFile = trackSectors.dataInFile[r];
  found->sizeBytes = trackSectors.dataSize[r];
  return true;
}

int32_t TrackReader::ReadIds(int64_t trackStartInFile, uint8_t* buffer, int32_t length) {
  const int32_t first = chain.FindWalkStart(trackStartInFile);
  const int32_t records = WalkLength(first, WalkKind::kIdList, length / 4);
  const uint32_t* const chrns = chain.ChrnFrom(first);
  for (int32_t position = 0; position < records; ++position) {
    for (int i = 0; i < 4; ++i)
      buffer[4 * position + i] = static_cast<uint8_t>(chrns[position] >> (8 * i));
  }
  return 4 * records;
}
