// A small cache of fixed-size blocks of the open D88 file, so that reading a
// record header or a sector that was read before costs no system call.
#pragma once

#include <cstdint>

#include "image/input_file.h"

constexpr int kCacheBlockBytes = 1 << 17;
constexpr int kCacheBlockCount = 8;

struct BlockCache {
  // Block b holds the file's bytes from b * kCacheBlockBytes; -1 = empty.
  int64_t blockNumber[kCacheBlockCount];
  int32_t validBytes[kCacheBlockCount];  // fewer than kCacheBlockBytes at the end of the file
  uint32_t lastUse[kCacheBlockCount];
  uint32_t useClock;
  // A read of the file failed since the last clear: answers since then may
  // be short. No failed block is kept, so the flag is the only trace.
  bool readFailed;
  uint8_t bytes[kCacheBlockCount][kCacheBlockBytes];
};

// Forgets every block and any read failure; call whenever the cached file
// changes.
void ClearBlockCache(BlockCache* cache);

// Copies up to `length` bytes from `positionInFile` of `file` into `destination`
// and returns how many arrived: fewer than `length` where the file ends, or
// where a read failed (then `readFailed` is set). Destination bytes past the
// returned count are untouched. `positionInFile` and `length` must not be
// negative.
int64_t ReadThroughCache(BlockCache* cache, InputFile& file, int64_t positionInFile,
                         uint8_t* destination, int64_t length);
