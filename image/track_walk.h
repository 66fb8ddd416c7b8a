// How a walk over the records of a track ends. A track has no stored
// length: a walk visits the records in stored order from the track's first
// record and only these rules end it. Every walk of the reader applies them,
// through TrackReader::Walk and nowhere else.
#pragma once

#include <cstdint>

// Which walk: sector reads stop at a record whose sector count is 0, before
// looking at it; the walk that lists record IDs goes on past it.
enum class WalkKind { kSectorRead, kIdList };

// A walk ends after the record whose position equals that record's sector
// count minus 1.
inline bool IsLastRecordOfWalk(int32_t position, int32_t sectorCount) {
  return position == sectorCount - 1;
}

// A sector read ends at a record with sector count 0: that record is not
// part of the walk.
inline bool EndsSectorReadBefore(int32_t sectorCount) { return sectorCount == 0; }

// A header that would run past the end of the file is no record: the walk
// ends before it (see TrackReader::Locate).

// Sector counts are 16-bit, so past position 65534 no record can end a walk
// any more: every walk ends after this many records.
constexpr int32_t kMaxWalkRecords = 65535;
