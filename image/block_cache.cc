#include "image/block_cache.h"

#include <cstring>
#include <istream>

void ClearBlockCache(BlockCache* cache) {
  for (int slot = 0; slot < kCacheBlockCount; ++slot) {
    cache->blockNumber[slot] = -1;
    cache->validBytes[slot] = 0;
    cache->lastUse[slot] = 0;
  }
  cache->useClock = 0;
  cache->streamPosition = -1;
}

namespace {

// Returns the slot holding `block`, loading it into the least recently used
// slot when it is not cached.
int FindOrLoadBlock(BlockCache* cache, std::istream& file, int64_t block) {
  int victim = 0;
  for (int slot = 0; slot < kCacheBlockCount; ++slot) {
    if (cache->blockNumber[slot] == block) {
      cache->lastUse[slot] = ++cache->useClock;
      return slot;
    }
    if (cache->lastUse[slot] < cache->lastUse[victim]) victim = slot;
  }
  // A failed seek or read leaves the stream's error flags set; clear them so
  // that the next load starts afresh. Bytes past the end simply do not arrive.
  const int64_t start = block * kCacheBlockBytes;
  file.clear();
  // Reading on from the last block needs no seek.
  if (start != cache->streamPosition) file.seekg(static_cast<std::streamoff>(start), std::ios::beg);
  std::streamsize arrived = 0;
  if (file) {
    file.read(reinterpret_cast<char*>(cache->bytes[victim]), kCacheBlockBytes);
    arrived = file.gcount();
  }
  cache->streamPosition = arrived == kCacheBlockBytes ? start + arrived : -1;
  file.clear();
  cache->blockNumber[victim] = block;
  cache->validBytes[victim] = static_cast<int32_t>(arrived);
  cache->lastUse[victim] = ++cache->useClock;
  return victim;
}

}  // namespace

int64_t ReadThroughCache(BlockCache* cache, std::istream& file, int64_t positionInFile,
                         uint8_t* destination, int64_t length) {
  int64_t delivered = 0;
  while (delivered < length) {
    const int64_t position = positionInFile + delivered;
    const int64_t block = position / kCacheBlockBytes;
    const int32_t offsetInBlock = static_cast<int32_t>(position % kCacheBlockBytes);
    const int slot = FindOrLoadBlock(cache, file, block);
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
