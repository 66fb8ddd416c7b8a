// TrackReader: the open D88 file and what makes reading its tracks fast,
// behind the three questions D88File asks: the bytes at a file position, the
// record a sector read stops at, and the record IDs of a walk.
//
// A walk visits the records of a track in stored order from its first one;
// only these rules end it: a walk ends after the record whose position in
// the walk equals that record's sector count minus 1; a sector read ends
// before a record whose sector count is 0; a header that would run past the
// end of the file is no record; and past 65,535 records no sector count can
// end a walk, so none goes further. Every answer is the plain walk's over
// the file. What is kept describes the file held here and is forgotten
// whenever a file is opened or closed, in one place (Forget).
//
// What it costs, at most, whatever the file:
// - A run of the tool makes at most 64 x 154 = 9,856 sector walks (tracks 1
//   to 153, and the directory's track again): the 8 sectors of a track come
//   from one walk (the track's sector index).
// - One walk: finds its start among at most 128 windows (an O(1) range test
//   each, and where ranges overlap a binary search of 11 steps and at most
//   63 entries); gives up at most 513 pages, moving nothing; reads at most
//   65,535 record headers that no window holds (each from a cached block,
//   or by one read of a 128 KiB block, or of the 16 bytes alone when they
//   lie 16 KiB or more past the last); and scans at most 65,535 entries
//   twice, 64 at a time in vector compares.
// - Memory: the pool (6 Mi records, 51 MB), the blocks (1 MB), fixed.
// - Hence a run costs at most 9,856 x (a lookup and two scans, about 25 us)
//   plus its header reads, and a walk reads none of the records a window
//   holds: while the chains the walks need fit in the pool, each header is
//   read once (once per window where chains merge). Past the pool, a walk
//   whose window gave way reads its headers again, 65,535 at most, and the
//   file decides how far apart they lie: its worst input weaves chains
//   through one another just past the pool, so that each such walk reads a
//   block of the file for every 74 headers (doc/developing.md, Bounds, has
//   the figures, and why no structure within 64 MB keeps every file within
//   0.6 s of CPU per 20 MB).
//   No lookup costs more than the above, whatever positions the file holds.
// The memos, and what makes each right:
// - the last sector walk's length, by its start: where a walk ends depends
//   only on the file, not on what it looks for, and tracks often share a
//   start (many images over one chain);
// - the sector index of the last track walked, by its start and C/H/N: one
//   walk answers every sector of a run on the track, since a walk for any
//   of them would stop at the first record that holds it.
#pragma once

#include <cstdint>

#include "image/cached_file.h"
#include "image/chain_windows.h"

// Where a sector's data lies in the file, and its size as its header says.
struct SectorData {
  int64_t positionInFile;
  int32_t sizeBytes;
};

class TrackReader {
 public:
  TrackReader(int32_t storedRecords, uint64_t seed) : windows(storedRecords, seed) { Forget(); }

  // As CachedFile; both forget everything read from the file held before.
  // Open also fails when the windows' memory cannot be had.
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
  enum class WalkKind { kSectorRead, kIdList };
  // The records a walk visits: entries `first` to `first + length - 1` of
  // `window`, valid until the next walk.
  struct Walk {
    const ChainWindows::Window* window;
    int32_t first;
    int32_t length;
  };
  // Walks from `startInFile` under the rules of `kind`, at most `limit`
  // records: the one place where the walk rules are applied.
  Walk WalkFrom(int64_t startInFile, WalkKind kind, int32_t limit);
  // Reads the record after the window's last entry into it and returns its
  // sector count; -1 where a header would run past the end of the file or
  // its read fails.
  int32_t ReadNext(ChainWindows::Window* window);
  // Notes, for each sector number, the first record addressed c/h/*/n of the
  // sector walk from `trackStartInFile`.
  void IndexTrackSectors(int64_t trackStartInFile, uint32_t chnKey);
  void Forget();

  CachedFile file;
  ChainWindows windows;
  struct {
    int64_t startInFile;  // -1: none
    int32_t records;
  } lastSectorWalk;
  struct {
    bool valid;
    int64_t startInFile;
    uint32_t chnKey;  // C | H << 8 | N << 24
    int64_t dataInFile[256];
    int32_t dataSize[256];  // -1: no record with that sector number
  } trackSectors;
};
