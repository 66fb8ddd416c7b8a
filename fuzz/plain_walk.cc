#include "fuzz/plain_walk.h"

namespace {

uint32_t Le(const uint8_t* bytes, int width) {
  uint32_t value = 0;
  for (int i = width - 1; i >= 0; --i) value = value << 8 | bytes[i];
  return value;
}

// Where `track` starts in the file, or -1 when it is absent or unusable.
int64_t TrackStart(const PlainImage& image, int32_t track) {
  if (image.file == nullptr || track < 0 || track > 163) return -1;
  const int32_t offset = image.trackOffsets[track];
  if (offset <= 0 || offset > image.diskSize) return -1;
  return image.imageOffset + offset;
}

// The 16-byte header at `position`, or null where it would pass the file's end.
const uint8_t* HeaderAt(const PlainImage& image, int64_t position) {
  if (position + 16 > static_cast<int64_t>(image.fileSize)) return nullptr;
  return image.file + position;
}

}  // namespace

int32_t PlainImageStarts(const uint8_t* file, size_t fileSize, int64_t starts[64]) {
  int32_t count = 0;
  int64_t start = 0;
  while (count < 64 && start >= 0 && start <= 0x7FFFFFFF &&
         start + 688 <= static_cast<int64_t>(fileSize)) {
    starts[count++] = start;
    start += static_cast<int32_t>(Le(file + start + 0x1C, 4));
  }
  return count;
}

PlainImage PlainSelect(const uint8_t* file, size_t fileSize, int64_t imageStart) {
  PlainImage image;
  image.file = file;
  image.fileSize = fileSize;
  image.imageOffset = imageStart;
  const uint8_t* header = file + imageStart;
  for (int i = 0; i < 16 && header[i] != 0; ++i) image.diskName[i] = static_cast<char>(header[i]);
  image.mediaType = header[0x1B];
  image.diskSize = static_cast<int32_t>(Le(header + 0x1C, 4));
  for (int t = 0; t < 164; ++t)
    image.trackOffsets[t] = static_cast<int32_t>(Le(header + 0x20 + 4 * t, 4));
  return image;
}

int32_t PlainReadSector(const PlainImage& image, int32_t track, int32_t c, int32_t h, int32_t r,
                        int32_t n, uint8_t* buffer, int32_t maxLength) {
  int64_t position = TrackStart(image, track);
  if (position < 0 || maxLength <= 0) return 0;
  for (int32_t i = 0; i < 65535; ++i) {
    const uint8_t* header = HeaderAt(image, position);
    if (header == nullptr) return 0;
    const int32_t sectorCount = static_cast<int32_t>(Le(header + 4, 2));
    const int32_t dataSize = static_cast<int32_t>(Le(header + 14, 2));
    if (sectorCount == 0) return 0;
    if (header[0] == c && header[1] == h && header[2] == r && header[3] == n) {
      const int32_t length = dataSize < maxLength ? dataSize : maxLength;
      for (int32_t k = 0; k < length && position + 16 + k < static_cast<int64_t>(image.fileSize);
           ++k) {
        buffer[k] = image.file[position + 16 + k];
      }
      return length;
    }
    position += 16 + dataSize;
    if (i == sectorCount - 1) return 0;
  }
  return 0;
}

int32_t PlainReadSectors(const PlainImage& image, int32_t track, int32_t c, int32_t h, int32_t r,
                         int32_t n, uint8_t* buffer, int32_t length) {
  if (n < 0 || n > 23 || length <= 0) return 0;
  int32_t chunk = 128 << n;
  int32_t delivered = 0;
  while (delivered < length) {
    if (length - delivered < chunk) chunk = length - delivered;
    if (PlainReadSector(image, track, c, h, r, n, buffer + delivered, chunk) < chunk) break;
    delivered += chunk;
    if (r != image.lastSector) {
      ++r;
      continue;
    }
    // On to the next track: head 0 to head 1, or head 1 (any other) to
    // head 0 of the next cylinder.
    ++track;
    c += h != 0;
    h = h == 0;
    r = image.firstSector;
  }
  return delivered;
}

int32_t PlainReadSectorIds(const PlainImage& image, int32_t track, uint8_t* buffer,
                           int32_t length) {
  int64_t position = TrackStart(image, track);
  if (position < 0) return 0;
  int32_t written = 0;
  for (int32_t i = 0; i < 65535 && 4 * (i + 1) <= length; ++i) {
    const uint8_t* header = HeaderAt(image, position);
    if (header == nullptr) break;
    for (int k = 0; k < 4; ++k) buffer[written++] = header[k];
    position += 16 + static_cast<int64_t>(Le(header + 14, 2));
    if (i == static_cast<int32_t>(Le(header + 4, 2)) - 1) break;
  }
  return written;
}
