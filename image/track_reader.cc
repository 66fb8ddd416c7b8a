#include "image/track_reader.h"

namespace {

constexpr uint32_t kChnMask = 0xFF00FFFF;  // C, H and N of a packed C/H/R/N
constexpr int32_t kScanBlock = 64;

// Whether no record of a block of kScanBlock, the first at walk position
// `position`, ends a walk of `kind`. No branch inside: the compiler turns
// it into vector compares.
bool EndsNoWalkIn(const uint16_t* sectorCounts, int32_t position, WalkKind kind) {
  uint32_t ends = 0;
  for (int32_t i = 0; i < kScanBlock; ++i) {
    const int32_t sectorCount = sectorCounts[i];
    ends |=
        static_cast<uint32_t>(IsLastRecordOfWalk(position + i, sectorCount)) |
        static_cast<uint32_t>(kind == WalkKind::kSectorRead && EndsSectorReadBefore(sectorCount));
  }
  return ends == 0;
}

// Whether none of the kScanBlock packed C/H/R/N at `chrns` has C, H and N
// of `chnKey`; vector compares too.
bool HasNoChnIn(const uint32_t* chrns, uint32_t chnKey) {
  uint32_t matches = 0;
  for (int32_t i = 0; i < kScanBlock; ++i) {
    matches |= static_cast<uint32_t>((chrns[i] & kChnMask) == chnKey);
  }
  return matches == 0;
}

}  // namespace

bool TrackReader::Open(const char* path) {
  ForgetWalks();
  return file.Open(path);
}

void TrackReader::Close() {
  file.Close();
  ForgetWalks();
}

void TrackReader::ForgetWalks() {
  store.Clear();
  furthestWalked = -1;
  trackSectors.valid = false;
  for (WalkLength& remembered : walkLengths) remembered = WalkLength{-1, 0};
}

void TrackReader::ForgetRecordsBefore(int64_t positionInFile) {
  if (furthestWalked >= positionInFile) return;
  store.Clear();
  furthestWalked = -1;
}

bool TrackReader::ReadHeader(int64_t positionInFile, RecordHeader* header) {
  uint8_t bytes[kRecordHeaderBytes];
  if (!file.ReadIfCached(positionInFile, bytes, kRecordHeaderBytes) &&
      file.Read(positionInFile, bytes, kRecordHeaderBytes) < kRecordHeaderBytes) {
    return false;
  }
  *header = DecodeRecordHeader(bytes);
  return true;
}

int32_t TrackReader::Locate(int64_t positionInFile, int32_t* run, RecordHeader* header) {
  const int32_t found = store.Find(positionInFile);
  if (found >= 0) {
    if (*run >= 0) store.Link(*run, found);  // the chain runs into a stored one
    *run = store.RunOf(found);
    return found;
  }
  if (!ReadHeader(positionInFile, header)) {
    // A short header is no record. Only the end of the file ends a chain
    // for good; after a failed read nothing is concluded.
    if (*run >= 0 && !file.ReadFailed()) store.Link(*run, RecordStore::kEnd);
    return kNoRecord;
  }
  if (*run < 0) *run = store.RunEndingAt(positionInFile);  // a walk that starts where one stopped
  const int32_t index = store.Add(positionInFile, *header, run);
  if (index < 0) return kNotStored;
  ReadAhead(*run);
  return index;
}

void TrackReader::ReadAhead(int32_t run) {
  for (int32_t added = 0; added < kReadAhead; ++added) {
    const int32_t last = store.LastOfRun(run);
    const int64_t next = store.NextPositionInFile(last);
    const int32_t found = store.Find(next);
    if (found >= 0) {
      store.Link(run, found);
      return;
    }
    uint8_t bytes[kRecordHeaderBytes];
    if (!file.ReadIfCached(next, bytes, kRecordHeaderBytes)) return;
    if (store.Add(next, DecodeRecordHeader(bytes), &run) < 0) return;
  }
}

template <typename Visit, typename SkipBlock>
int32_t TrackReader::Walk(int64_t startInFile, WalkKind kind, int32_t limit, int32_t knownLength,
                          Visit visit, SkipBlock skipBlock) {
  if (limit > kMaxWalkRecords) limit = kMaxWalkRecords;
  int32_t visited = 0;
  int64_t at = startInFile;
  RecordHeader header;
  int32_t run = -1;
  int32_t index = Locate(at, &run, &header);
  int64_t reached = -1;  // positions grow along a walk: the last record's is the highest
  while (visited < limit && index != kNoRecord) {
    if (index == kNotStored) {
      // The store is full: this record was read from the file on its own.
      if (kind == WalkKind::kSectorRead && EndsSectorReadBefore(header.sectorCount)) break;
      visit(PackChrn(header.c, header.h, header.r, header.n), at, header.dataSize);
      reached = at;
      if (IsLastRecordOfWalk(visited++, header.sectorCount)) break;
      // The rest of this walk goes through the file: the store takes no more.
      at += kRecordHeaderBytes + header.dataSize;
      if (!ReadHeader(at, &header)) break;
      continue;
    }
    // Stored records from `index` to the end of its run lie in walk order.
    const int32_t last = store.LastOfRun(run);
    const int32_t stretch = last - index + 1 < limit - visited ? last - index + 1 : limit - visited;
    const uint32_t* const chrns = store.ChrnFrom(index);
    const uint16_t* const sectorCounts = store.SectorCountFrom(index);
    bool ended = false;
    int32_t i = 0;
    while (i < stretch) {
      // A block before the known last record ends no walk, by construction.
      if (i % kScanBlock == 0 && stretch - i >= kScanBlock &&
          (visited + kScanBlock < knownLength || EndsNoWalkIn(sectorCounts + i, visited, kind)) &&
          skipBlock(chrns + i)) {
        i += kScanBlock;
        visited += kScanBlock;
        continue;
      }
      const int32_t sectorCount = sectorCounts[i];
      if (kind == WalkKind::kSectorRead && EndsSectorReadBefore(sectorCount)) {
        ended = true;
        break;
      }
      visit(chrns[i], store.PositionInFile(index + i), store.DataSize(index + i));
      ++i;
      if (IsLastRecordOfWalk(visited++, sectorCount)) {
        ended = true;
        break;
      }
    }
    if (i > 0) reached = store.PositionInFile(index + i - 1);
    if (ended || visited == limit) break;
    // On past the run's end: to the record its chain runs into, or read on.
    const int32_t next = store.NextAfterRun(run);
    if (next == RecordStore::kEnd) break;
    at = store.NextPositionInFile(last);
    if (next >= 0) {
      index = next;
      run = store.RunOf(next);
    } else {
      index = Locate(at, &run, &header);
    }
  }
  if (reached > furthestWalked) furthestWalked = reached;
  return visited;
}

void TrackReader::IndexTrackSectors(int64_t trackStartInFile, uint32_t chnKey) {
  trackSectors.valid = true;
  trackSectors.startInFile = trackStartInFile;
  trackSectors.chnKey = chnKey;
  for (int32_t& size : trackSectors.dataSize) size = -1;
  // Where a walk ends does not depend on what it looks for, and many tracks
  // start where another did: a length remembered for this start lets the
  // walk pass blocks by without looking at their sector counts.
  WalkLength& remembered = walkLengths[static_cast<uint64_t>(trackStartInFile) % kWalkLengths];
  const int32_t knownLength = remembered.startInFile == trackStartInFile ? remembered.records : 0;
  const int32_t records = Walk(
      trackStartInFile, WalkKind::kSectorRead, kMaxWalkRecords, knownLength,
      [this, chnKey](uint32_t chrn, int64_t positionInFile, uint16_t dataSize) {
        if ((chrn & kChnMask) != chnKey) return;
        const int r = (chrn >> 16) & 0xFF;
        if (trackSectors.dataSize[r] >= 0) return;
        trackSectors.dataInFile[r] = positionInFile + kRecordHeaderBytes;
        trackSectors.dataSize[r] = dataSize;
      },
      // Most records of a long walk match nothing: pass them by a block at a time.
      [chnKey](const uint32_t* chrns) { return HasNoChnIn(chrns, chnKey); });
  // A walk cut short by a failed read is no length to remember.
  if (!file.ReadFailed()) remembered = WalkLength{trackStartInFile, records};
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
  int32_t written = 0;
  Walk(
      trackStartInFile, WalkKind::kIdList, length / 4, 0,
      [buffer, &written](uint32_t chrn, int64_t, uint16_t) {
        for (int i = 0; i < 4; ++i) buffer[written++] = static_cast<uint8_t>(chrn >> (8 * i));
      },
      [](const uint32_t*) { return false; });
  return written;
}
