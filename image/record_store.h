// RecordStore: the headers of every sector record read from the open file,
// so that each header is read once per run, whatever the layout.
//
// Every record is followed by the next one, 16 + data size bytes on, so the
// records reachable from a track's first record form a chain through the
// file; the chains of the tracks of an image (and of other images) often
// run into one another. Records are stored in runs: a run is a stretch of
// records that follow one another in their chain and lie at consecutive
// indexes here, so a walk scans memory in order; at a run's end a link says
// which record comes next, once known. A table finds a record by its
// position in the file.
//
// Memory is bounded (kMaxRecords); a full store takes no more records and a
// walk goes on through the file (TrackReader). Nothing stored is ever
// dropped or changed before Clear, so indexes stay valid until then.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>

#include "image/d88_format.h"

inline uint32_t PackChrn(uint32_t c, uint32_t h, uint32_t r, uint32_t n) {
  return c | h << 8 | r << 16 | n << 24;
}

class RecordStore {
 public:
  // 1.5 million records: 16 bytes each, at most 8 more for a run of its own
  // and a table of 2 million slots of 4 bytes make at most 44 MB, which keeps
  // the whole process below 64 MB. Every record of a 20 MB file of bare
  // headers fits; so does every record of a 1 GB file whose records carry
  // 700 bytes of data.
  static constexpr int32_t kMaxRecords = 3 << 19;
  // What follows a run's last record when it is not another record.
  static constexpr int32_t kUnknown = -1;  // not read yet
  static constexpr int32_t kEnd = -2;      // a header there would run past the end of the file

  explicit RecordStore(int32_t maxRecords = kMaxRecords) : maxRecords(maxRecords) {}

  // Forgets every record, keeping the memory for the next file.
  void Clear();

  // The index of the record at `positionInFile`, or -1 when none is stored.
  int32_t Find(int64_t positionInFile) const;

  // Stores the record `header` found at `positionInFile` and returns its
  // index, or -1 when the store is full. `*run` is the run whose last record
  // comes right before it in its chain, or -1 when it starts a walk; it
  // becomes the new record's run: that one extended, or a new one that it
  // links to.
  int32_t Add(int64_t positionInFile, const RecordHeader& header, int32_t* run);

  // Runs: the run holding a record, the run's last record, and what follows
  // that record (an index, kUnknown or kEnd), which Link sets once known.
  int32_t RunOf(int32_t index) const;
  int32_t LastOfRun(int32_t run) const {
    return run + 1 < runCount ? runs[run + 1].first - 1 : count - 1;
  }
  int32_t NextAfterRun(int32_t run) const { return runs[run].next; }
  void Link(int32_t run, int32_t next) { runs[run].next = next; }
  // The last run when the record after its last one, not read yet, would lie
  // at `positionInFile`; -1 otherwise. A record read there extends it.
  int32_t RunEndingAt(int64_t positionInFile) const {
    return runCount > 0 && runs[runCount - 1].next == kUnknown &&
                   NextPositionInFile(count - 1) == positionInFile
               ? runCount - 1
               : -1;
  }

  int64_t PositionInFile(int32_t index) const { return position[index]; }
  int64_t NextPositionInFile(int32_t index) const {
    return position[index] + kRecordHeaderBytes + dataSize[index];
  }
  uint16_t DataSize(int32_t index) const { return dataSize[index]; }
  // Records from `index` on, in index order, as far as they are stored.
  const uint32_t* ChrnFrom(int32_t index) const { return chrn.get() + index; }
  const uint16_t* SectorCountFrom(int32_t index) const { return sectorCount.get() + index; }

 private:
  struct Free {
    void operator()(void* memory) const { std::free(memory); }
  };
  template <typename T>
  using Array = std::unique_ptr<T[], Free>;
  struct Run {
    int32_t first;  // the run's records are first to the next run's first - 1
    int32_t next;   // what follows its last record: an index, kUnknown or kEnd
  };

  bool HasRoomForOne() const {
    return count < capacity && runCount < runCapacity && 4 * (count + 1) <= 3 * tableSlots;
  }
  // Makes room for one more record and one more run; false when full.
  bool Reserve();
  bool GrowTable(int32_t slots);
  void Insert(int32_t index);

  const int32_t maxRecords;
  int32_t count = 0;
  int32_t capacity = 0;
  Array<int64_t> position;
  Array<uint32_t> chrn;  // C | H << 8 | R << 16 | N << 24
  Array<uint16_t> sectorCount;
  Array<uint16_t> dataSize;
  int32_t runCount = 0;
  int32_t runCapacity = 0;
  Array<Run> runs;
  // Open addressing on the position: each slot an index, -1 when empty.
  int32_t tableSlots = 0;  // a power of two, at least 4/3 of count
  Array<int32_t> table;
};
