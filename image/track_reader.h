// TrackReader: the open D88 file and everything that makes reading its
// tracks fast, behind the three questions D88File asks: the bytes at a file
// position, the record a sector read stops at, and the record IDs of a walk.
//
// Every answer equals that of the plain walk over the file, record by record
// from the track's first one, under the rules of track_walk.h. What is kept
// between calls describes the file held here and is forgotten when another
// is opened or it is closed. About 3 MB: allocate it once.
#pragma once

#include <cstdint>

#include "image/cached_file.h"
#include "image/record_chain.h"

// Where a sector's data lies in the file, and its size as its header says.
struct SectorData {
  int64_t positionInFile;
  int32_t sizeBytes;
};

class TrackReader {
 public:
  TrackReader() { ForgetWalks(); }

  // As CachedFile; both forget every walk of the file held before.
  bool Open(const char* path);
  void Close();
  bool IsOpen() const { return file.IsOpen(); }
  const FileIdentity& GetIdentity() const { return file.GetIdentity(); }
  bool ReadFailed() const { return file.ReadFailed(); }
  int64_t ReadBytes(int64_t positionInFile, uint8_t* destination, int64_t length) {
    return file.Read(positionInFile, destination, length);
  }

  // The record at which a sector read of c/h/r/n (each 0 to 255) in the
  // track whose first record is at `trackStartInFile` stops: the first
  // record of its walk addressed so. False when the walk holds none.
  bool FindSector(int64_t trackStartInFile, uint32_t c, uint32_t h, uint32_t r, uint32_t n,
                  SectorData* found);

  // Writes the C, H, R and N bytes of each record the ID walk from
  // `trackStartInFile` visits, 4 bytes a record, while they fit in `length`.
  // Returns the bytes written.
  int32_t ReadIds(int64_t trackStartInFile, uint8_t* buffer, int32_t length);

 private:
  void ForgetWalks();
  // How many records a walk of `kind` from chain entry `first` visits, at
  // most `maxRecords`. The one place where the walk rules are applied.
  int32_t WalkLength(int32_t first, WalkKind kind, int32_t maxRecords);
  // Notes, for each sector number, the first record addressed c/h/*/n of the
  // sector walk from `trackStartInFile`.
  void IndexTrackSectors(int64_t trackStartInFile, uint32_t chnKey);

  CachedFile file;
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
