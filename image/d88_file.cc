#include "image/d88_file.h"

#include <filesystem>

#include "image/native_path.h"

void D88File::ForgetCurrentImage() {
  imageOffset = -1;
  mediaType = -1;
  diskSize = 0;
  diskName[0] = '\0';
}

void D88File::CloseFile() {
  if (file.is_open()) file.close();
  file.clear();
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
  if (file.is_open()) {
    CloseFile();
    ForgetCurrentImage();
  }
  // Only a regular file, links followed, can be a D88 file: a directory
  // opens as a file that cannot be read on some systems, and a pipe, a FIFO
  // or a device cannot be sought, so no header could be found in it.
  const std::filesystem::path nativePath = NativePath(path);
  std::error_code error;
  if (!std::filesystem::is_regular_file(nativePath, error)) return false;
  // Unbuffered: the block cache does the buffering.
  file.rdbuf()->pubsetbuf(nullptr, 0);
  file.open(nativePath, std::ios::in | std::ios::binary);
  if (!file.is_open()) {
    CloseFile();
    return false;
  }

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
  if (!file.is_open()) return false;
  ForgetCurrentImage();
  if (index < 0 || index >= imageCount) return false;

  imageOffset = imageOffsets[index];
  // Open read a full header here already, from the same unchanged file.
  ImageHeader header;
  ReadImageHeader(imageOffset, &header);
  for (int track = 0; track < kTrackCount; ++track)
    trackOffsets[track] = header.trackOffsets[track];
  mediaType = header.mediaType;
  diskSize = header.diskSize;
  static_assert(sizeof diskName == sizeof header.diskName);
  for (int i = 0; i <= kDiskNameBytes; ++i) diskName[i] = header.diskName[i];
  return true;
}
