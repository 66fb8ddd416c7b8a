#include "image/cached_file.h"

#include <cstring>

bool CachedFile::Open(const char* path) {
  ForgetBlocks();
  return file.Open(path);
}

void CachedFile::Close() {
  file.Close();
  ForgetBlocks();
}

void CachedFile::ForgetBlocks() {
  for (int slot = 0; slot < kBlockCount; ++slot) {
    blockNumber[slot] = -1;
    validBytes[slot] = 0;
    lastUse[slot] = 0;
  }
  useClock = 0;
  readFailed = false;
}

int CachedFile::FindOrLoadBlock(int64_t block) {
  int victim = 0;
  for (int slot = 0; slot < kBlockCount; ++slot) {
    if (blockNumber[slot] == block) {
      lastUse[slot] = ++useClock;
      return slot;
    }
    if (lastUse[slot] < lastUse[victim]) victim = slot;
  }
  const int64_t arrived = file.ReadAt(block * kBlockBytes, bytes[victim], kBlockBytes);
  if (arrived < 0) {
    // Never kept as a short block: that would read as the end of the file.
    blockNumber[victim] = -1;
    lastUse[victim] = 0;
    readFailed = true;
    return -1;
  }
  blockNumber[victim] = block;
  validBytes[victim] = static_cast<int32_t>(arrived);
  lastUse[victim] = ++useClock;
  return victim;
}

int64_t CachedFile::Read(int64_t positionInFile, uint8_t* destination, int64_t length) {
  int64_t delivered = 0;
  while (delivered < length) {
    const int64_t position = positionInFile + delivered;
    const int64_t block = position / kBlockBytes;
    const int32_t offsetInBlock = static_cast<int32_t>(position % kBlockBytes);
    const int slot = FindOrLoadBlock(block);
    if (slot < 0) break;
    const int32_t available = validBytes[slot] - offsetInBlock;
    if (available <= 0) break;
    const int64_t wanted = length - delivered;
    const int64_t take = wanted < available ? wanted : available;
    std::memcpy(destination + delivered, bytes[slot] + offsetInBlock, static_cast<size_t>(take));
    delivered += take;
    if (validBytes[slot] < kBlockBytes && offsetInBlock + take >= validBytes[slot]) {
      break;  // the file ends inside this block
    }
  }
  return delivered;
}

bool CachedFile::ReadIfCached(int64_t positionInFile, uint8_t* destination, int32_t length) const {
  const int64_t block = positionInFile / kBlockBytes;
  const int32_t offsetInBlock = static_cast<int32_t>(positionInFile % kBlockBytes);
  // Headers read ahead mostly lie in the block the last one came from.
  if (blockNumber[lastHit] != block) {
    int slot = 0;
    while (slot < kBlockCount && blockNumber[slot] != block) ++slot;
    if (slot == kBlockCount) return false;
    lastHit = slot;
  }
  if (offsetInBlock + length > validBytes[lastHit]) return false;
  std::memcpy(destination, bytes[lastHit] + offsetInBlock, static_cast<size_t>(length));
  return true;
}
