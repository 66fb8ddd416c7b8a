#include "image/track_reader.h"

#include <new>

#include "image/d88_format.h"

namespace {

uint32_t PackChn(uint32_t c, uint32_t h, uint32_t n) { return c | h << 8 | n << 24; }

}  // namespace

bool TrackReader::Open(const char* path) {
  Forget();
  return file.Open(path);
}

void TrackReader::Close() {
  file.Close();
  Forget();
}

void TrackReader::Forget() {
  sweep.reset();
  swept = false;
  trackSectors.valid = false;
}

bool TrackReader::SweepDue() const {
  return !swept && file.IsOpen() && !file.ReadFailed() && file.Cost() > walkBudget;
}

void TrackReader::Sweep(const int64_t* starts, int32_t count) {
  swept = true;
  // The sweep is due only while no read has failed: a failure since is an
  // image header the caller could not read and left out (it fails again
  // when that image is selected), and the walks' failures are their own.
  file.ForgetReadFailure();
  // Without memory for the sweep the reads go on walking.
  sweep.reset(new (std::nothrow) WalkSweep(seed));
  if (sweep != nullptr) sweep->Run(&file, starts, count);
}

WalkSweep::Answer TrackReader::FindSwept(int32_t id, int64_t startInFile, int32_t r,
                                         SectorData* found) const {
  return sweep != nullptr ? sweep->Find(id, startInFile, r, found) : WalkSweep::Answer::kUnknown;
}

template <typename Visit>
void TrackReader::Walk(int64_t startInFile, WalkKind kind, int32_t limit, Visit visit) {
  if (limit > kMaxWalkRecords) limit = kMaxWalkRecords;
  int64_t position = startInFile;
  int64_t gap = 0;
  for (int32_t length = 0; length < limit; ++length) {
    uint8_t bytes[kRecordHeaderBytes];
    if (file.ReadHeader(position, gap, bytes) < kRecordHeaderBytes) return;
    const RecordHeader header = DecodeRecordHeader(bytes);
    if (kind == WalkKind::kSectorRead && header.sectorCount == 0) return;
    visit(header, position);
    if (length == header.sectorCount - 1) return;
    gap = kRecordHeaderBytes + header.dataSize;
    position += gap;
  }
}

bool TrackReader::FindSector(int64_t trackStartInFile, uint32_t c, uint32_t h, uint32_t r,
                             uint32_t n, SectorData* found) {
  const uint32_t chnKey = PackChn(c, h, n);
  if (!trackSectors.valid || trackSectors.startInFile != trackStartInFile ||
      trackSectors.chnKey != chnKey) {
    // One walk notes the first record of every sector number.
    trackSectors.valid = true;
    trackSectors.startInFile = trackStartInFile;
    trackSectors.chnKey = chnKey;
    for (int32_t& size : trackSectors.dataSize) size = -1;
    Walk(trackStartInFile, WalkKind::kSectorRead, kMaxWalkRecords,
         [this, chnKey](const RecordHeader& header, int64_t positionInFile) {
           if (PackChn(header.c, header.h, header.n) != chnKey ||
               trackSectors.dataSize[header.r] >= 0) {
             return;
           }
           trackSectors.dataInFile[header.r] = positionInFile + kRecordHeaderBytes;
           trackSectors.dataSize[header.r] = header.dataSize;
         });
    // A walk cut short by a failed read is no index to keep.
    trackSectors.valid = !file.ReadFailed();
  }
  if (trackSectors.dataSize[r] < 0) return false;
  found->positionInFile = trackSectors.dataInFile[r];
  found->sizeBytes = trackSectors.dataSize[r];
  return true;
}

int32_t TrackReader::ReadIds(int64_t trackStartInFile, uint8_t* buffer, int32_t length) {
  int32_t written = 0;
  Walk(trackStartInFile, WalkKind::kIdList, length / 4,
       [buffer, &written](const RecordHeader& header, int64_t) {
         uint8_t* id = buffer + written;
         id[0] = header.c;
         id[1] = header.h;
         id[2] = header.r;
         id[3] = header.n;
         written += 4;
       });
  return written;
}
