// The headers of one chain of sector records, kept in memory in chain order.
//
// Every record is followed by the next one, 16 + data size bytes on, so the
// records reachable from a track's first record form one chain through the
// file, and the chains of all tracks of an image (and of later images) often
// are one and the same. Walks over records already here touch the file no
// more; positions grow strictly along a chain, so a walk's start is found by
// binary search.
#pragma once

#include <cstdint>

#include "image/block_cache.h"
#include "image/d88_format.h"
#include "image/track_walk.h"

// Room for a whole walk from any record in the first half.
constexpr int32_t kChainCapacity = 2 * (kMaxWalkRecords + 1);

struct RecordChain {
  int64_t firstInFile;  // where entry 0 is, or would be; -1 = no chain
  int32_t count;        // entries read so far
  bool complete;        // the header after the last entry runs past the end of the file
  int64_t positionInFile[kChainCapacity];
  uint32_t chrn[kChainCapacity];  // C | H << 8 | R << 16 | N << 24
  uint16_t sectorCount[kChainCapacity];
  uint16_t dataSize[kChainCapacity];
};

inline uint32_t PackChrn(uint32_t c, uint32_t h, uint32_t r, uint32_t n) {
  return c | h << 8 | r << 16 | n << 24;
}

void ClearRecordChain(RecordChain* chain);

// Returns the index of the record that starts at `positionInFile` (not
// negative), starting a new chain there when the current one does not hold
// it. Entries from the returned index to index + kMaxWalkRecords - 1 can be
// loaded without moving the chain, so indexes stay valid for one walk.
int32_t FindWalkStart(RecordChain* chain, int64_t positionInFile);

// Reads headers from the file until entry `index` is present. False when the
// chain ends before it: a header there would run past the end of the file.
bool LoadChainEntry(RecordChain* chain, BlockCache* cache, InputFile& file, int32_t index);

inline bool HasChainEntry(RecordChain* chain, BlockCache* cache, InputFile& file,
                          int32_t index) {
  return index < chain->count || LoadChainEntry(chain, cache, file, index);
}
