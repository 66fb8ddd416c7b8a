// RecordChain: the headers of one chain of sector records, kept in memory in
// chain order.
//
// Every record is followed by the next one, 16 + data size bytes on, so the
// records reachable from a track's first record form one chain through the
// file, and the chains of all tracks of an image (and of later images) often
// are one and the same. Walks over records already here touch the file no
// more; positions grow strictly along a chain, so a walk's start is found by
// binary search.
#pragma once

#include <cstdint>

#include "image/cached_file.h"
#include "image/d88_format.h"
#include "image/track_walk.h"

inline uint32_t PackChrn(uint32_t c, uint32_t h, uint32_t r, uint32_t n) {
  return c | h << 8 | r << 16 | n << 24;
}

class RecordChain {
 public:
  RecordChain() { Forget(); }

  // Forgets every entry; call whenever the file changes.
  void Forget() { StartAt(-1); }

  // The index of the record that starts at `positionInFile` (not negative),
  // starting a new chain there when this one does not hold it. Entries from
  // the returned index to index + kMaxWalkRecords - 1 can be loaded without
  // moving the chain, so indexes stay valid for one walk.
  int32_t FindWalkStart(int64_t positionInFile);

  // Whether entry `index` is here, reading headers from `file` up to it
  // first. False when the chain ends before it: a header there would run
  // past the end of the file (or its read failed).
  bool Load(CachedFile& file, int32_t index) { return index < count || LoadMore(file, index); }

  // Entry `index`, once loaded.
  int64_t PositionInFile(int32_t index) const { return positionInFile[index]; }
  uint16_t SectorCount(int32_t index) const { return sectorCount[index]; }
  uint16_t DataSize(int32_t index) const { return dataSize[index]; }
  // C | H << 8 | R << 16 | N << 24 of entries `index` onwards, as loaded.
  const uint32_t* ChrnFrom(int32_t index) const { return chrn + index; }

 private:
  // Room for a whole walk from any record in the first half.
  static constexpr int32_t kCapacity = 2 * (kMaxWalkRecords + 1);

  bool LoadMore(CachedFile& file, int32_t index);
  int64_t NextRecordInFile() const;
  void StartAt(int64_t positionInFile);
  // Drops the entries before `index`, which becomes entry 0.
  void DropEntriesBefore(int32_t index);

  int64_t firstInFile;  // where entry 0 is, or would be; -1 = no chain
  int32_t count;        // entries read so far
  bool complete;        // the header after the last entry runs past the end of the file
  int64_t positionInFile[kCapacity];
  uint32_t chrn[kCapacity];
  uint16_t sectorCount[kCapacity];
  uint16_t dataSize[kCapacity];
};
