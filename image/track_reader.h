// TrackReader: the open D88 file and everything that makes reading its
// tracks fast, behind the three questions D88File asks: the bytes at a file
// position, the record a sector read stops at, and the record IDs of a walk.
//
// Every answer equals that of the plain walk over the file, record by record
// from the track's first one, under the rules of track_walk.h. Each record
// header is read from the file once (RecordStore keeps it), up to the
// store's bound; past it, walks read on through the file. What is kept
// describes the file held here and is forgotten when another is opened or
// it is closed.
#pragma once

#include <cstdint>

#include "image/cached_file.h"
#include "image/record_store.h"
#include "image/track_walk.h"

// Where a sector's data lies in the file, and its size as its header says.
struct SectorData {
  int64_t positionInFile;
  int32_t sizeBytes;
};

class TrackReader {
 public:
  explicit TrackReader(int32_t maxStoredRecords = RecordStore::kMaxRecords)
      : store(maxStoredRecords) {
    ForgetWalks();
  }

  // As CachedFile; both forget every record of the file held before.
  bool Open(const char* path);
  void Close();
  bool IsOpen() const { return file.IsOpen(); }
  const FileIdentity& GetIdentity() const { return file.GetIdentity(); }
  bool ReadFailed() const { return file.ReadFailed(); }
  int64_t ReadBytes(int64_t positionInFile, uint8_t* destination, int64_t length) {
    return file.Read(positionInFile, destination, length);
  }

  // Says that no walk to come starts before `positionInFile`. A walk only
  // ever goes forward in the file, so the records walks reached before it
  // will not be visited again: once every walk so far stayed before it, the
  // store is emptied. The answers stay the same whatever is dropped; a walk
  // that does start there reads again.
  void ForgetRecordsBefore(int64_t positionInFile);

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
  // The record at `positionInFile`: its index in the store, with `*run` its
  // run (read and stored first if it is new), kNoRecord where a header would
  // run past the end of the file or its read fails, or kNotStored with
  // `header` read when the store is full. `*run`, when not -1, is the run
  // whose last record comes before it in its chain: it is linked to it.
  static constexpr int32_t kNoRecord = -2;
  static constexpr int32_t kNotStored = -1;
  int32_t Locate(int64_t positionInFile, int32_t* run, RecordHeader* header);
  // Stores up to kReadAhead more records of the chain after `run`, the last
  // run, as far as their headers lie in blocks already read: a walk that
  // needs them then scans them in one stretch, and no read is made that a
  // walk did not ask for, so no read error comes from it.
  static constexpr int32_t kReadAhead = 63;
  // The record header at `positionInFile`; false where it would run past the
  // end of the file, or its read fails.
  bool ReadHeader(int64_t positionInFile, RecordHeader* header);
  void ReadAhead(int32_t run);

  // Walks the records from `startInFile` under the rules of `kind`, at most
  // `limit` of them, calling visit(chrn, positionInFile, dataSize) for each
  // and returning how many it visited. A whole block of kScanBlock stored
  // records that ends no walk is passed over without visits when
  // skipBlock(chrns) says so; `knownLength`, when not 0, is how many records
  // this walk is known to visit. The one place where the walk rules are
  // applied.
  template <typename Visit, typename SkipBlock>
  int32_t Walk(int64_t startInFile, WalkKind kind, int32_t limit, int32_t knownLength, Visit visit,
               SkipBlock skipBlock);
  void ForgetWalks();

  // Notes, for each sector number, the first record addressed c/h/*/n of the
  // sector walk from `trackStartInFile`.
  void IndexTrackSectors(int64_t trackStartInFile, uint32_t chnKey);

  CachedFile file;
  RecordStore store;
  int64_t furthestWalked = -1;  // the highest position of a record any walk reached
  // How many records sector walks from recent starts visited, by start.
  struct WalkLength {
    int64_t startInFile;  // -1: none
    int32_t records;
  };
  static constexpr int kWalkLengths = 64;
  WalkLength walkLengths[kWalkLengths];
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
