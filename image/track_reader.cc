#include "image/track_reader.h"

#include "image/d88_format.h"

namespace {

constexpr uint32_t kChnMask = 0xFF00FFFF;  // C, H and N of a packed C/H/R/N
constexpr int32_t kScanBlock = 64;
// A header this far past the last one is read on its own: a block there
// would bring few other headers.
constexpr int32_t kFarApart = 16 * 1024;

uint32_t PackChrn(uint32_t c, uint32_t h, uint32_t r, uint32_t n) {
  return c | h << 8 | r << 16 | n << 24;
}

// Whether no record of a block of kScanBlock, the first at walk position
// `position`, ends a walk (a sector read also at a sector count of 0). No
// branch inside: the compiler turns it into vector compares.
bool EndsNoWalkIn(const uint16_t* sectorCounts, int32_t position, bool sectorRead) {
  uint32_t ends = 0;
  for (int32_t i = 0; i < kScanBlock; ++i) {
    const int32_t sectorCount = sectorCounts[i];
    ends |= static_cast<uint32_t>(position + i == sectorCount - 1) |
            static_cast<uint32_t>(sectorRead && sectorCount == 0);
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
  Forget();
  return windows.Allocate() && file.Open(path);
}

void TrackReader::Close() {
  file.Close();
  Forget();
}

void TrackReader::Forget() {
  windows.Clear();
  lastSectorWalk.startInFile = -1;
  trackSectors.valid = false;
}

int32_t TrackReader::ReadNext(ChainWindows::Window* window) {
  if (window->ended) return -1;
  uint8_t bytes[kRecordHeaderBytes];
  const int64_t arrived =
      window->lastDataSize >= kFarApart
          ? file.ReadAlone(window->nextInFile, bytes, kRecordHeaderBytes)
          : file.Read(window->nextInFile, bytes, kRecordHeaderBytes);
  if (arrived < kRecordHeaderBytes) {
    // Only the end of the file ends a chain for good; after a failed read
    // nothing is concluded.
    window->ended = !file.ReadFailed();
    return -1;
  }
  const RecordHeader header = DecodeRecordHeader(bytes);
  windows.Append(window, PackChrn(header.c, header.h, header.r, header.n), header.sectorCount,
                 header.dataSize);
  return header.sectorCount;
}

TrackReader::Walk TrackReader::WalkFrom(int64_t startInFile, WalkKind kind, int32_t limit) {
  if (limit > ChainWindows::kMaxWalkRecords) limit = ChainWindows::kMaxWalkRecords;
  int32_t first = 0;
  ChainWindows::Window& window = windows.Find(startInFile, &first);
  const bool sectorRead = kind == WalkKind::kSectorRead;
  int32_t length = 0;
  if (sectorRead && lastSectorWalk.startInFile == startInFile) {
    // Where this walk ends is known: only its records need be at hand.
    while (window.count < first + lastSectorWalk.records && ReadNext(&window) >= 0) {
    }
    length = window.count - first < lastSectorWalk.records ? window.count - first
                                                           : lastSectorWalk.records;
    return Walk{&window, first, length};
  }
  while (length < limit) {
    const int32_t at = first + length;
    int32_t sectorCount = 0;
    if (at < window.count) {
      // Blocks of records at hand that end no walk are passed at once; past
      // a block that does, the walk ends within it.
      const ChainWindows::Span span = windows.SpanAt(window, at, limit - length);
      int32_t passed = 0;
      while (passed + kScanBlock <= span.count &&
             EndsNoWalkIn(span.sectorCount + passed, length + passed, sectorRead)) {
        passed += kScanBlock;
      }
      length += passed;
      if (passed == span.count) continue;
      sectorCount = span.sectorCount[passed];
    } else if ((sectorCount = ReadNext(&window)) < 0) {
      break;
    }
    if (sectorRead && sectorCount == 0) break;
    if (length++ == sectorCount - 1) break;
  }
  // A walk cut short by a failed read is no length to remember.
  if (sectorRead && !file.ReadFailed()) lastSectorWalk = {startInFile, length};
  return Walk{&window, first, length};
}

void TrackReader::IndexTrackSectors(int64_t trackStartInFile, uint32_t chnKey) {
  trackSectors.valid = true;
  trackSectors.startInFile = trackStartInFile;
  trackSectors.chnKey = chnKey;
  for (int32_t& size : trackSectors.dataSize) size = -1;
  const Walk walk = WalkFrom(trackStartInFile, WalkKind::kSectorRead, ChainWindows::kMaxWalkRecords);
  for (int32_t done = 0; done < walk.length;) {
    const int32_t entry = walk.first + done;
    const ChainWindows::Span span = windows.SpanAt(*walk.window, entry, walk.length - done);
    // Most records of a long walk match nothing: pass them a block at a time.
    for (int32_t block = 0; block < span.count; block += kScanBlock) {
      const int32_t end = block + kScanBlock < span.count ? block + kScanBlock : span.count;
      if (end - block == kScanBlock && HasNoChnIn(span.chrn + block, chnKey)) continue;
      for (int32_t i = block; i < end; ++i) {
        const int r = (span.chrn[i] >> 16) & 0xFF;
        if ((span.chrn[i] & kChnMask) != chnKey || trackSectors.dataSize[r] >= 0) continue;
        trackSectors.dataInFile[r] =
            windows.PositionInFile(*walk.window, entry + i) + kRecordHeaderBytes;
        trackSectors.dataSize[r] = span.dataSize[i];
      }
    }
    done += span.count;
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
  const Walk walk = WalkFrom(trackStartInFile, WalkKind::kIdList, length / 4);
  for (int32_t done = 0; done < walk.length;) {
    const ChainWindows::Span span =
        windows.SpanAt(*walk.window, walk.first + done, walk.length - done);
    for (int32_t i = 0; i < span.count; ++i) {
      for (int k = 0; k < 4; ++k) *buffer++ = static_cast<uint8_t>(span.chrn[i] >> (8 * k));
    }
    done += span.count;
  }
  return 4 * walk.length;
}
