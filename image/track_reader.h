// TrackReader: the open D88 file, and the walks over its tracks' records.
//
// A walk visits the records of a track in stored order from its first one;
// only these rules end it: a walk ends after the record whose position in
// the walk equals that record's sector count minus 1; a sector read ends
// before a record whose sector count is 0; a header that would run past the
// end of the file is no record; and past 65,535 records no sector count can
// end a walk, so none goes further. Walk applies them to one walk, and
// WalkSweep to many walks at once.
//
// What it costs, at most, whatever the file. A run of the tool asks only
// 2HD layout reads (sectors 1 to 8 of each track's own cylinder and head,
// size code 3) of at most 64 x 154 = 9,856 tracks:
// - While reads have cost less than the walk budget (8 Mi reads from a
//   cached block, see CachedFile::Cost: about 0.1 s), a layout read walks
//   its track: at most 65,535 headers, each from a cached block, or by one
//   read of a 128 KiB block, or by a read of its own when it lies 16 KiB or
//   more past the header before. The budget is asked before each walk, so
//   one walk may overrun it, by at most 65,535 reads of their own.
// - Past the budget, the first layout read sweeps every image's tracks at
//   once (WalkSweep): one pass over the file in order of position that reads
//   each record on any walk once. Per record: one header read, at most three
//   hash lookups under a random key, one step of a heap of at most 9,856
//   groups; records lie 16 bytes apart at least. Merges move each walk at
//   most 14 times. Memory: a few MB.
// - Hence a run costs at most the budget, one walk, one sweep, linear in the
//   file's size (about 0.2 s of CPU per 20 MB on its worst input, woven-2464
//   in bench/), and reading at most 9,856 x 8 sectors' data; its memory is
//   fixed. Nothing is kept that a file could evict or flood, so no order of
//   reads and no arrangement of records reaches further.
// Reads outside the layout (other C/H/N, ID lists) always walk.
// The one memo: the sector index of the last track walked, by its start and
// C/H/N. One walk answers every sector of a run on the track, since a walk
// for any of them would stop at the first record that holds it.
#pragma once

#include <cstdint>
#include <memory>

#include "image/cached_file.h"
#include "image/walk_sweep.h"

class TrackReader {
 public:
  TrackReader(int64_t walkBudget, uint64_t seed) : walkBudget(walkBudget), seed(seed) { Forget(); }

  // As CachedFile; both forget everything read from the file held before.
  bool Open(const char* path);
  void Close();
  bool IsOpen() const { return file.IsOpen(); }
  const FileIdentity& GetIdentity() const { return file.GetIdentity(); }
  bool ReadFailed() const { return file.ReadFailed(); }
  int64_t ReadBytes(int64_t positionInFile, uint8_t* destination, int64_t length) {
    return file.Read(positionInFile, destination, length);
  }

  // Whether the next layout read should sweep: the budget is spent, no
  // sweep was made for this file, and no read has failed.
  bool SweepDue() const;
  // Sweeps the walks from `starts` (WalkSweep::Run), once for the file.
  void Sweep(const int64_t* starts, int32_t count);
  // The swept answer for sector r of walk `id` from `startInFile`, if a
  // sweep was made (WalkSweep::Find).
  WalkSweep::Answer FindSwept(int32_t id, int64_t startInFile, int32_t r, SectorData* found) const;

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
  enum class WalkKind { kSectorRead, kIdList };
  // Calls visit(header, positionInFile) for each record of the walk from
  // `startInFile` under the rules of `kind`, at most `limit` records.
  template <typename Visit>
  void Walk(int64_t startInFile, WalkKind kind, int32_t limit, Visit visit);
  void Forget();

  const int64_t walkBudget;
  const uint64_t seed;
  CachedFile file;
  std::unique_ptr<WalkSweep> sweep;  // made when due; forgotten with the file
  bool swept;
  struct {
    bool valid;
    int64_t startInFile;
    uint32_t chnKey;  // C | H << 8 | N << 24
    int64_t dataInFile[256];
    int32_t dataSize[256];  // -1: no record with that sector number
  } trackSectors;
};
