#include "image/block_cache.h"

#include <cstring>

void ClearBlockCache(BlockCache* cache) {
  for (int slot = 0; slot < kCacheBlockCount; ++slot) {
    cache->blockNumber[slot] = -1;
    cache->validBytes[slot] = 0;
    cache->lastUse[slot] = 0;
  }
  cache->useClock = 0;
  cache->readFailed = false;
}

namespace {

// Returns the slot holding `block`, loading it into the least recently used
// slot when it is not cached; -1 when the read fails.
int FindOrLoadBlock(BlockCache* cache, InputFile& file, int64_t block) {
  int victim = 0;
  for (int slot = 0; slot < kCacheBlockCount; ++slot) {
    if (cache->blockNumber[slot] == block) {
      cache->lastUse[slot] = ++cache->useClock;
      return slot;
    }
    if (cache->lastUse[slot] < cache->lastUse[victim]) victim = slot;
  }
  const int64_t arrived =
      file.ReadAt(block * kCacheBlockBytes, cache->bytes[victim], kCacheBlockBytes);
  if (arrived < 0) {
    // Never kept as a short block: that would read as the end of the file.
    cache->blockNumber[victim] = -1;
    cache->lastUse[victim] = 0;
    cache->readFailed = true;
    return -1;
  }
  cache->blockNumber[victim] = block;
  cache->validBytes[victim] = static_cast<int32_t>(arrived);
  cache->lastUse[victim] = ++cache->useClock;
  return victim;
}

}  // namespace

int64_t ReadThroughCache(BlockCache* cache, InputFile& file, int64_t positionInFile,
                         uint8_t* destination, int64_t length) {
  int64_t delivered = 0;
  while (delivered < length) {
    const int64_t position = positionInFile + delivered;
    const int64_t block = position / kCacheBlockBytes;
    const int32_t offsetInBlock = static_cast<int32_t>(position % kCacheBlockBytes);
    const int slot = FindOrLoadBlock(cache, file, block);
    if (slot < 0) break;
    const int32_t available = cache->validBytes[slot] - offsetInBlock;
    if (available <= 0) break;
    const int64_t wanted = length - delivered;
    const int64_t take = wanted < available ? wanted : available;
    std::memcpy(destination + delivered, cache->bytes[slot] + offsetInBlock,
                static_cast<size_t>(take));
    delivered += take;
    if (cache->validBytes[slot] < kCacheBlockBytes &&
        offsetInBlock + take >= cache->validBytes[slot]) {
      break;  // the file ends inside this block
    }
  }
  return delivered;
}
