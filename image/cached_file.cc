#include "image/cached_file.h"

#include <cstring>

#include "image/d88_format.h"

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
  lastHit = 0;
  readFailed = false;
  cost = 0;
}

int CachedFile::FindOrLoadBlock(int64_t block) {
  int victim = 0;
  for (int slot = blockNumber[lastHit] == block ? lastHit : 0; slot < kBlockCount; ++slot) {
    if (blockNumber[slot] == block) {
      lastUse[slot] = ++useClock;
      return lastHit = slot;
    }
    if (lastUse[slot] < lastUse[victim]) victim = slot;
  }
  cost += kBlockBytes / 64;
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
  return lastHit = victim;
}

int64_t CachedFile::Read(int64_t positionInFile, uint8_t* destination, int64_t length) {
  ++cost;
  // Most reads lie in the block read last: record headers one after another.
  const int64_t inLast = positionInFile - blockNumber[lastHit] * kBlockBytes;
  if (blockNumber[lastHit] >= 0 && inLast >= 0 && inLast + length <= validBytes[lastHit]) {
    std::memcpy(destination, bytes[lastHit] + inLast, static_cast<size_t>(length));
    return length;
  }
  int64_t delivered = 0;
  while (delivered < length) {
    const int64_t position = positionInFile + delivered;
    const int32_t offsetInBlock = static_cast<int32_t>(position % kBlockBytes);
    const int slot = FindOrLoadBlock(position / kBlockBytes);
    if (slot < 0) break;
    const int32_t available = validBytes[slot] - offsetInBlock;
    if (available <= 0) break;
    const int64_t take = length - delivered < available ? length - delivered : available;
    std::memcpy(destination + delivered, bytes[slot] + offsetInBlock, static_cast<size_t>(take));
    delivered += take;
    if (validBytes[slot] < kBlockBytes) break;  // the file ends inside this block
  }
  return delivered;
}

int64_t CachedFile::ReadHeader(int64_t positionInFile, int64_t gap, uint8_t* destination) {
  const int64_t length = kRecordHeaderBytes;
  if (gap < kFarApart) return Read(positionInFile, destination, length);
  ++cost;
  const int64_t block = positionInFile / kBlockBytes;
  const int32_t offsetInBlock = static_cast<int32_t>(positionInFile % kBlockBytes);
  for (int slot = 0; slot < kBlockCount; ++slot) {
    if (blockNumber[slot] == block && offsetInBlock + length <= validBytes[slot]) {
      std::memcpy(destination, bytes[slot] + offsetInBlock, static_cast<size_t>(length));
      return length;
    }
  }
  cost += 100;
  const int64_t arrived = file.ReadAt(positionInFile, destination, length);
  if (arrived >= 0) return arrived;
  readFailed = true;
  return 0;
}
