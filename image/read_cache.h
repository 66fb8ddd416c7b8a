// ReadCache: everything that makes reading the open D88 file fast, behind
// the three questions D88File asks of it: the bytes at a file position, the
// record a sector read stops at, and the record IDs of a walk.
//
// Every answer equals that of the plain walk over the file, record by record
// from the track's first one, under the rules of track_walk.h. What is kept
// between calls describes the open file and nothing else: call Reset
// whenever another file is opened or the file is closed.
#pragma once

#include <cstdint>

#include "image/block_cache.h"
#include "image/record_chain.h"

// Where a sector's data lies in the file, and its size as its header says.
struct SectorData {
  int64_t positionInFile;
  int32_t sizeBytes;
};

class ReadCache {
 public:
  ReadCache() { Reset(); }
  ReadCache(const ReadCache&) = delete;
  ReadCache& operator=(const ReadCache&) = delete;

  // Forgets every block and every memo, and any read failure.
  void Reset();

  // Whether a read of the file failed since the last Reset: answers given
  // since then may be short, as if the file ended early.
  bool ReadFailed() const { return blocks.readFailed; }

  // Copies up to `length` bytes from `positionInFile` of `file` into
  // `destination` and returns how many arrived: fewer only where the file
  // ends or a read fails. Destination bytes past the count are untouched.
  // Neither number may be negative.
  int64_t ReadBytes(InputFile& file, int64_t positionInFile, uint8_t* destination,
                    int64_t length);

  // The record at which a sector read of c/h/r/n (each 0 to 255) in the
  // track whose first record is at `trackStartInFile` stops: the first record
  // of its walk addressed so. False when the walk holds none.
  bool FindSector(InputFile& file, int64_t trackStartInFile, uint32_t c, uint32_t h, uint32_t r,
                  uint32_t n, SectorData* found);

  // Writes the C, H, R and N bytes of each record the ID walk from
  // `trackStartInFile` visits, 4 bytes a record, while they fit in `length`.
  // Returns the bytes written.
  int32_t ReadIds(InputFile& file, int64_t trackStartInFile, uint8_t* buffer, int32_t length);

 private:
  // How many records a walk of `kind` from chain entry `first` visits, at
  // most `maxRecords`.
  int32_t WalkLength(InputFile& file, int32_t first, WalkKind kind, int32_t maxRecords);
  // Notes, for each sector number, the first record addressed c/h/*/n of the
  // sector walk from `trackStartInFile`.
  void IndexTrackSectors(InputFile& file, int64_t trackStartInFile, uint32_t chnKey);

  BlockCache blocks;
  RecordChain chain;
  // Where the last sector walk started and how many records it visited.
  // Where a walk ends does not depend on what it looks for, and the tracks
  // of an image often start at the same record.
  struct {
    int64_t startInFile;  // -1: none yet
    int32_t records;
  } lastSectorWalk;
  // The first record of each sector number in the sector walk last indexed.
  // One walk answers every sector of a run on the track with the same C, H
  // and N, since a walk for any of them would stop at that first record.
  struct {
    bool valid;
    int64_t startInFile;
    uint32_t chnKey;  // C | H << 8 | N << 24
    int64_t dataInFile[256];
    int32_t dataSize[256];  // -1: no record with that sector number
  } trackSectors;
};
