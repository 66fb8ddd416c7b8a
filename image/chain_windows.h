// ChainWindows: stretches of record chains held in memory.
//
// Every record is followed by the next one 16 + data size bytes on, so the
// records from a track's first one on form a chain through the file whose
// positions only grow; chains of different tracks often are one and the
// same. A window holds a stretch of one chain in chain order, in pages of
// 256 records drawn from one pool; within a page the fields lie in parallel
// arrays, so a walk over records read before scans memory in order. Only
// every 64th position is kept (the rest follow from the data sizes): a
// record costs 8 bytes, and a start is found by binary search.
//
// A window has room for two walks of the longest kind (65,535 records), so
// a walk from anywhere in its first half fits; a walk from its second half
// gives up the pages before it first. When no window holds a walk's start,
// a new window takes it; when the pool runs out of pages (or there are
// kMaxWindows windows), a window chosen at random gives up all of its own.
// No file can tell which, so no order of walks makes every one of them miss
// (as cycling through one window more than there is room for would with the
// least recently used), and records no later walk needs stay no longer than
// any others.
#pragma once

#include <cstdint>
#include <memory>

class ChainWindows {
 public:
  static constexpr int32_t kPageRecords = 1024;
  static constexpr int32_t kAnchorEvery = 64;
  static constexpr int32_t kMaxWalkRecords = 65535;
  static constexpr int32_t kWindowRecords = 1 << 17;
  static constexpr int32_t kMaxWindows = 128;

  struct Page {
    int64_t anchorInFile[kPageRecords / kAnchorEvery];  // where entries 0, 64, 128, 192 lie
    uint32_t chrn[kPageRecords];                        // C | H << 8 | R << 16 | N << 24
    uint16_t sectorCount[kPageRecords];
    uint16_t dataSize[kPageRecords];
  };

  struct Window {
    int64_t firstInFile = -1;  // where entry 0 lies; -1: unused
    int64_t nextInFile = -1;   // where the record after the last entry lies
    int32_t count = 0;         // entries read so far
    uint16_t lastDataSize = 0;  // of the last entry
    int32_t firstSlot = 0;    // where entry 0 lies in the first page
    int32_t pageCount = 0;
    bool ended = false;  // a header after the last entry would run past the end of the file
    int32_t pages[kWindowRecords / kPageRecords + 1];
  };

  // The fields of the records from entry `entry` of a window on, to the end
  // of its page and at most `wanted` of them: `count` records at hand.
  struct Span {
    const uint32_t* chrn;
    const uint16_t* sectorCount;
    const uint16_t* dataSize;
    int32_t count;
  };

  // A pool of `storedRecords` records (one window's worth at least), 8.1
  // bytes a record: 51 MB for D88File's default. A `seed` of 0 draws the
  // random choices' seed from the system.
  ChainWindows(int32_t storedRecords, uint64_t seed);

  // Takes the memory for one window, once; false when it cannot be had. The
  // rest of the pool is taken as it is needed, a chunk at a time, and where
  // it cannot be had the pool is smaller.
  bool Allocate();

  // Forgets every window.
  void Clear();

  // The window that holds the record at `positionInFile`, or reads it next,
  // with `*index` its entry there and room after it for a whole walk. A
  // window that holds none of it is started there, empty.
  Window& Find(int64_t positionInFile, int32_t* index);

  // Appends the record at the window's nextInFile.
  void Append(Window* window, uint32_t chrn, uint16_t sectorCount, uint16_t dataSize);

  Span SpanAt(const Window& window, int32_t entry, int32_t wanted) const;
  int64_t PositionInFile(const Window& window, int32_t entry) const;

 private:
  bool Holds(const Window& window, int64_t positionInFile, int32_t* index) const;
  // Gives up the pages before entry `index` when a whole walk would not fit
  // after it; returns where the entry is now.
  int32_t MakeRoom(Window* window, int32_t index);
  // A free page: a new one while the pool may grow, else one given up by a
  // random window other than `keep`.
  int32_t TakePage(const Window* keep);
  bool AddChunk();
  Page& PageAt(int32_t page) const { return chunks[page / kChunkPages][page % kChunkPages]; }
  void Release(Window* window);
  uint64_t NextRandom();

  static constexpr int32_t kChunkPages = 128;
  const int32_t poolPages;
  int32_t allocatedPages = 0;
  uint64_t random;
  int32_t used = 0;  // windows 0 to used - 1 have been started
  int32_t last = 0;  // the window found last: walks mostly start near the last one
  int32_t freeCount = 0;
  std::unique_ptr<std::unique_ptr<Page[]>[]> chunks;
  std::unique_ptr<int32_t[]> freePages;
  std::unique_ptr<Window[]> windows;
};
