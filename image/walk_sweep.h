// WalkSweep: the sector walks of many tracks taken together, in one pass
// over the file in order of position, answering each walk's 2HD layout
// reads (its track's cylinder and head, size code 3, sectors 1 to 8).
//
// Records only ever lead forward (the next lies 16 + data size bytes on),
// and walks that reach one record go on together. So the sweep keeps the
// walks that stand at the same record as one group, takes the group with
// the lowest position next, and merges groups that arrive at one record:
// every record on any walk is read once. For each record it does what the
// walk rules (track_reader.h) say to every walk of its group at once:
// - a sector count of 0 ends them all before the record;
// - the walks waiting for the record's sector (their track's C/H/N, R 1 to
//   8) note it, and stop waiting: a walk keeps its first match;
// - the walks at position sector count - 1, and at 65,535 - 1, end after it.
// A walk's position is its group's step count plus the walk's base, so
// the walks ending at a record are the ones at one base, found at once.
//
// Cost: each record read once, with at most three lookups in hash tables
// (keyed by a random number drawn once, so that no file can choose the
// bases that collide) and a heap of at most 9,856 groups; a merge moves the
// smaller group's walks into the larger, so that no walk moves more than
// 14 times. Memory: a few MB for 9,856 walks.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "image/cached_file.h"
#include "image/d88_format.h"

// Where a sector's data lies in the file, and its size as its header says.
struct SectorData {
  int64_t positionInFile;
  int32_t sizeBytes;
};

class WalkSweep {
 public:
  enum class Answer { kFound, kNone, kUnknown };

  // `seed` keys the hash tables; 0 draws one from the system.
  explicit WalkSweep(uint64_t seed);

  // Walks from each of `starts` (-1: none) as a sector read of track
  // id % kTrackCount, where id is the start's index. A walk cut by a failed
  // read stays unknown, and the failure is not kept in `file`: a later read
  // fails again by itself.
  void Run(CachedFile* file, const int64_t* starts, int32_t count);

  // The first record of walk `id` addressed with sector r and its track's
  // layout C/H/N: kNone when the walk holds none, kUnknown when the walk
  // was not finished or did not start at `startInFile`. `r` is 1 to 8.
  Answer Find(int32_t id, int64_t startInFile, int32_t r, SectorData* found) const;

 private:
  static constexpr int32_t kWaitingKeyWords = (kTrackCount * k2HDSectorsPerTrack + 63) / 64;
  struct Mix {
    uint64_t key;
    size_t operator()(int64_t value) const;
  };
  using WalksBy = std::unordered_map<int64_t, std::vector<int32_t>, Mix>;
  struct Group {
    int64_t positionInFile;
    int64_t steps;
    int32_t walking;  // walks of the group not yet ended
    int32_t joined;   // walks that ever joined it: what decides which group moves
    int64_t lowBase, highBase;  // no walk's base lies outside (bases that ended may)
    WalksBy byBase;
    WalksBy waiting;  // by track * 8 + sector - 1
    // The keys of `waiting`, so that a record no walk waits for costs no lookup.
    uint64_t waitingKeys[kWaitingKeyWords];
  };
  struct Walk {
    int64_t startInFile = -1;
    bool known = false;
    bool ended = false;
    SectorData sectors[k2HDSectorsPerTrack];  // size -1: none
  };

  // Reads and applies the record at the group's position; false when every
  // walk of the group has ended.
  bool Step(CachedFile* file, Group* group);
  void EndAt(Group* group, int64_t base);
  void EndAll(Group* group, bool known);
  void Merge(Group* into, Group* from);

  uint64_t hashKey;
  std::vector<Walk> walks;
  std::vector<Group> groups;
  int64_t lastHeaderInFile = 0;
};
