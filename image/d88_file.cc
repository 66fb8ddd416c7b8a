#include "image/d88_file.h"

#include <new>
#include <vector>

#include "image/track_reader.h"

namespace {

bool IsByte(int32_t value) { return value >= 0 && value <= 255; }

// An offset of 0x80000000 or more is negative here; it would lead before
// the image, so it makes the track unusable like an absent one.
bool TrackIsUsable(int32_t offsetInImage, int32_t diskSize) {
  return offsetInImage > 0 && offsetInImage <= diskSize;
}

}  // namespace

D88File::D88File(int64_t walkBudget, uint64_t seed) : walkBudget(walkBudget), seed(seed) {}

D88File::~D88File() = default;

bool D88File::IsOpen() const { return reader != nullptr && reader->IsOpen(); }

bool D88File::ReadFailed() const { return reader != nullptr && reader->ReadFailed(); }

void D88File::ForgetCurrentImage() {
  currentImage = -1;
  imageOffset = -1;
  mediaType = -1;
  diskSize = 0;
  diskName[0] = '\0';
}

const FileIdentity& D88File::GetFileIdentity() const {
  static const FileIdentity kNoFile;
  return IsOpen() ? reader->GetIdentity() : kNoFile;
}

void D88File::Close() {
  if (reader != nullptr) reader->Close();
  imageCount = 0;
  mediaType = -1;
}

bool D88File::Open(const char* path) {
  if (path == nullptr) {
    Close();
    return true;
  }
  if (IsOpen()) {
    reader->Close();
    ForgetCurrentImage();
  }
  if (reader == nullptr) reader.reset(new (std::nothrow) TrackReader(walkBudget, seed));
  // Only a regular file can be a D88 file: a directory cannot be read, and
  // a pipe, a FIFO or a device cannot be read at a position, so no header
  // could be found in it. InputFile asks what it opened, not the path.
  if (reader == nullptr || !reader->Open(path)) return false;

  imageCount = 0;
  int64_t imageStart = 0;
  while (imageCount < kMaxImages) {
    // Offsets are signed 32-bit; a chain that leaves that range ends there.
    if (imageStart < 0 || imageStart > INT32_MAX) break;
    uint8_t header[kImageHeaderBytes];
    if (reader->ReadBytes(imageStart, header, kImageHeaderBytes) < kImageHeaderBytes) break;
    imageOffsets[imageCount++] = static_cast<int32_t>(imageStart);
    // Signed: a negative size steps back.
    imageStart += DiskSizeIn(header);
  }
  return true;
}

bool D88File::SelectImage(int32_t index) {
  if (!IsOpen()) return false;
  ForgetCurrentImage();
  if (index < 0 || index >= imageCount) return false;
  // Open read a whole header here already, so its length is not tested
  // again; a failed read is.
  uint8_t header[kImageHeaderBytes] = {};
  reader->ReadBytes(imageOffsets[index], header, kImageHeaderBytes);
  if (ReadFailed()) return false;
  currentImage = index;
  imageOffset = imageOffsets[index];
  int length = 0;
  while (length < kDiskNameBytes && header[kDiskNameOffset + length] != 0) {
    diskName[length] = static_cast<char>(header[kDiskNameOffset + length]);
    ++length;
  }
  diskName[length] = '\0';
  mediaType = header[kMediaTypeOffset];
  diskSize = DiskSizeIn(header);
  for (int track = 0; track < kTrackCount; ++track) {
    trackOffsets[track] = TrackOffsetIn(header, track);
  }
  return true;
}

// Sector reads of the current image; TrackReader answers each walk.

void D88File::SetSectorRange(int32_t first, int32_t last) {
  firstSector = first;
  lastSector = last;
}

bool D88File::LocateTrack(int32_t track, int64_t* startInFile) const {
  if (!IsOpen() || track < 0 || track >= kTrackCount) return false;
  if (!TrackIsUsable(trackOffsets[track], diskSize)) return false;
  *startInFile = static_cast<int64_t>(imageOffset) + trackOffsets[track];
  return true;
}

int32_t D88File::ReadSector(int32_t track, int32_t c, int32_t h, int32_t r, int32_t n,
                            uint8_t* buffer, int32_t maxLength) {
  int64_t startInFile = 0;
  if (!LocateTrack(track, &startInFile)) return 0;
  if (!IsByte(c) || !IsByte(h) || !IsByte(r) || !IsByte(n) || maxLength <= 0) return 0;
  SectorData sector;
  if (!FindSector(track, startInFile, c, h, r, n, &sector)) return 0;
  const int32_t length = sector.sizeBytes < maxLength ? sector.sizeBytes : maxLength;
  // The count is the length asked of the file, not what arrived: data cut
  // short by the end of a truncated file still counts in full, so a run of
  // sectors goes on to the track's later sectors, which may be intact. The
  // bytes that did not arrive keep what the buffer held.
  if (length > 0) reader->ReadBytes(sector.positionInFile, buffer, length);
  return length;
}

bool D88File::FindSector(int32_t track, int64_t startInFile, int32_t c, int32_t h, int32_t r,
                         int32_t n, SectorData* found) {
  const bool layout = c == CylinderOfTrack(track) && h == HeadOfTrack(track) &&
                      n == k2HDSizeCode && r >= k2HDFirstSector &&
                      r < k2HDFirstSector + k2HDSectorsPerTrack;
  if (layout) {
    if (reader->SweepDue()) SweepAllImages();
    // Only the walk swept from the same start: a track table read before
    // Close and another Open still stands.
    switch (reader->FindSwept(currentImage * kTrackCount + track, startInFile, r, found)) {
      case WalkSweep::Answer::kFound:
        return true;
      case WalkSweep::Answer::kNone:
        return false;
      case WalkSweep::Answer::kUnknown:
        break;
    }
  }
  return reader->FindSector(startInFile, c, h, r, n, found);
}

void D88File::SweepAllImages() {
  // Every track of every image, as LocateTrack would find it.
  std::vector<int64_t> starts(static_cast<size_t>(imageCount) * kTrackCount, -1);
  for (int32_t image = 0; image < imageCount; ++image) {
    uint8_t header[kImageHeaderBytes];
    if (reader->ReadBytes(imageOffsets[image], header, kImageHeaderBytes) < kImageHeaderBytes) {
      continue;
    }
    const int32_t size = DiskSizeIn(header);
    for (int32_t track = 0; track < kTrackCount; ++track) {
      const int32_t offset = TrackOffsetIn(header, track);
      if (TrackIsUsable(offset, size)) {
        starts[image * kTrackCount + track] = int64_t{imageOffsets[image]} + offset;
      }
    }
  }
  reader->Sweep(starts.data(), static_cast<int32_t>(starts.size()));
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
  return reader->ReadIds(startInFile, buffer, length);
}
