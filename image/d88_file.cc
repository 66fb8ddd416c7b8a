#include "image/d88_file.h"

void D88File::ForgetCurrentImage() {
  imageOffset = -1;
  mediaType = -1;
  diskSize = 0;
  diskName[0] = '\0';
}

void D88File::CloseFile() {
  file.Close();
  cache.Reset();
}

bool D88File::ReadImageHeader(int64_t positionInFile, ImageHeader* header) {
  uint8_t bytes[kImageHeaderBytes] = {};
  const bool whole =
      cache.ReadBytes(file, positionInFile, bytes, kImageHeaderBytes) == kImageHeaderBytes;
  DecodeImageHeader(bytes, header);
  return whole;
}

bool D88File::Open(const char* path) {
  if (path == nullptr) {
    CloseFile();
    imageCount = 0;
    mediaType = -1;
    return true;
  }
  if (file.IsOpen()) {
    CloseFile();
    ForgetCurrentImage();
  }
  // Only a regular file can be a D88 file: a directory cannot be read, and
  // a pipe, a FIFO or a device cannot be read at a position, so no header
  // could be found in it. InputFile asks what it opened, not the path.
  // With no file open the cache holds nothing: CloseFile reset it.
  if (!file.Open(path)) return false;

  imageCount = 0;
  int64_t imageStart = 0;
  while (imageCount < kMaxImages) {
    // Offsets are signed 32-bit; a chain that leaves that range ends there.
    if (imageStart < 0 || imageStart > INT32_MAX) break;
    imageOffsets[imageCount] = static_cast<int32_t>(imageStart);
    ImageHeader header;
    if (!ReadImageHeader(imageStart, &header)) break;
    imageStart += header.diskSize;  // signed: a negative size steps back
    ++imageCount;
  }
  return true;
}

bool D88File::SelectImage(int32_t index) {
  if (!file.IsOpen()) return false;
  ForgetCurrentImage();
  if (index < 0 || index >= imageCount) return false;

  // Open read a full header here already, so its length is not tested
  // again; a failed read is.
  ImageHeader header;
  ReadImageHeader(imageOffsets[index], &header);
  if (ReadFailed()) return false;
  imageOffset = imageOffsets[index];
  for (int track = 0; track < kTrackCount; ++track)
    trackOffsets[track] = header.trackOffsets[track];
  mediaType = header.mediaType;
  diskSize = header.diskSize;
  static_assert(sizeof diskName == sizeof header.diskName);
  for (int i = 0; i <= kDiskNameBytes; ++i) diskName[i] = header.diskName[i];
  return true;
}
