#include "image/chain_windows.h"

#include <algorithm>
#include <new>
#include <random>

#include "image/d88_format.h"

namespace {

constexpr int32_t kWindowPages = ChainWindows::kWindowRecords / ChainWindows::kPageRecords + 1;

}  // namespace

ChainWindows::ChainWindows(int32_t storedRecords, uint64_t seed)
    : poolPages(std::max(storedRecords / kPageRecords, kWindowPages + 1)), random(seed) {
  if (random == 0) {
    std::random_device device;
    random = static_cast<uint64_t>(device()) << 32 | device();
  }
  random |= 1;  // the generator never leaves 0
}

bool ChainWindows::Allocate() {
  if (chunks != nullptr) return true;
  const size_t chunkCount = static_cast<size_t>((poolPages + kChunkPages - 1) / kChunkPages);
  chunks.reset(new (std::nothrow) std::unique_ptr<Page[]>[chunkCount]);
  freePages.reset(new (std::nothrow) int32_t[static_cast<size_t>(poolPages)]);
  windows.reset(new (std::nothrow) Window[kMaxWindows]);
  bool room = chunks && freePages && windows;
  while (room && allocatedPages <= kWindowPages) room = AddChunk();
  if (!room) chunks.reset();
  return room;
}

bool ChainWindows::AddChunk() {
  if (allocatedPages == poolPages) return false;
  std::unique_ptr<Page[]>& chunk = chunks[allocatedPages / kChunkPages];
  chunk.reset(new (std::nothrow) Page[kChunkPages]);
  if (!chunk) return false;
  const int32_t added = std::min(kChunkPages, poolPages - allocatedPages);
  for (int32_t page = 0; page < added; ++page) freePages[freeCount++] = allocatedPages + page;
  allocatedPages += added;
  return true;
}

void ChainWindows::Clear() {
  if (chunks == nullptr) return;
  for (int32_t w = 0; w < used; ++w) windows[w] = Window{};
  used = 0;
  last = 0;
  freeCount = 0;
  for (int32_t page = 0; page < allocatedPages; ++page) freePages[freeCount++] = page;
}

void ChainWindows::Release(Window* window) {
  for (int32_t page = 0; page < window->pageCount; ++page) {
    freePages[freeCount++] = window->pages[page];
  }
  *window = Window{};
}

uint64_t ChainWindows::NextRandom() {
  // xorshift64*: the choices need only be unknown to whoever wrote the file.
  random ^= random >> 12;
  random ^= random << 25;
  random ^= random >> 27;
  return random * 2685821657736338717u;
}

int32_t ChainWindows::TakePage(const Window* keep) {
  if (freeCount == 0 && !AddChunk()) {
    // The pool holds more than one window's pages, so another window has some.
    int32_t w = static_cast<int32_t>(NextRandom() % static_cast<uint64_t>(used));
    while (&windows[w] == keep || windows[w].pageCount == 0) w = (w + 1) % used;
    Release(&windows[w]);
  }
  return freePages[--freeCount];
}

ChainWindows::Span ChainWindows::SpanAt(const Window& window, int32_t entry, int32_t wanted) const {
  const int32_t at = window.firstSlot + entry;
  const int32_t slot = at % kPageRecords;
  const Page& page = PageAt(window.pages[at / kPageRecords]);
  const int32_t inPage = std::min(kPageRecords - slot, window.count - entry);
  return Span{page.chrn + slot, page.sectorCount + slot, page.dataSize + slot,
              std::min(inPage, wanted)};
}

int64_t ChainWindows::PositionInFile(const Window& window, int32_t entry) const {
  // Every page keeps the anchors of what it held, entries given up before
  // a window's first included, so the anchor at or before an entry is there.
  const int32_t at = window.firstSlot + entry;
  const Page& page = PageAt(window.pages[at / kPageRecords]);
  const int32_t slot = at % kPageRecords;
  int64_t position = page.anchorInFile[slot / kAnchorEvery];
  for (int32_t from = slot - slot % kAnchorEvery; from < slot; ++from) {
    position += kRecordHeaderBytes + page.dataSize[from];
  }
  return position;
}

void ChainWindows::Append(Window* window, uint32_t chrn, uint16_t sectorCount, uint16_t dataSize) {
  const int32_t at = window->firstSlot + window->count;
  const int32_t slot = at % kPageRecords;
  if (slot == 0) window->pages[window->pageCount++] = TakePage(window);
  Page& page = PageAt(window->pages[at / kPageRecords]);
  if (slot % kAnchorEvery == 0) page.anchorInFile[slot / kAnchorEvery] = window->nextInFile;
  page.chrn[slot] = chrn;
  page.sectorCount[slot] = sectorCount;
  page.dataSize[slot] = dataSize;
  if (window->count++ == 0) window->firstInFile = window->nextInFile;
  window->lastDataSize = dataSize;
  window->nextInFile += kRecordHeaderBytes + dataSize;
}

bool ChainWindows::Holds(const Window& window, int64_t positionInFile, int32_t* index) const {
  if (positionInFile == window.nextInFile) {
    *index = window.count;
    return true;
  }
  if (window.count == 0 || positionInFile > window.nextInFile ||
      positionInFile < window.firstInFile) {
    return false;
  }
  // The last anchor at or before the position, then on through the entries.
  const auto entryOf = [&window](int32_t anchor) {
    return std::max(anchor * kAnchorEvery - window.firstSlot, 0);
  };
  int32_t low = window.firstSlot / kAnchorEvery;
  int32_t high = (window.firstSlot + window.count - 1) / kAnchorEvery;
  while (low < high) {
    const int32_t middle = (low + high + 1) / 2;
    if (PositionInFile(window, entryOf(middle)) <= positionInFile) {
      low = middle;
    } else {
      high = middle - 1;
    }
  }
  int32_t entry = entryOf(low);
  int64_t position = PositionInFile(window, entry);
  while (position < positionInFile && entry < window.count) {
    position += kRecordHeaderBytes + SpanAt(window, entry++, 1).dataSize[0];
  }
  *index = entry;
  return position == positionInFile && entry < window.count;
}

int32_t ChainWindows::MakeRoom(Window* window, int32_t index) {
  if (index <= kWindowRecords - kMaxWalkRecords) return index;
  // Whole pages before the entry go back to the pool; no record moves.
  const int32_t at = window->firstSlot + index;
  const int32_t dropped = at / kPageRecords;
  for (int32_t page = 0; page < dropped; ++page) freePages[freeCount++] = window->pages[page];
  std::copy(window->pages + dropped, window->pages + window->pageCount, window->pages);
  window->pageCount -= dropped;
  window->firstSlot = at % kPageRecords;
  window->count -= index;
  window->firstInFile = window->count > 0 ? PositionInFile(*window, 0) : -1;
  return 0;
}

ChainWindows::Window& ChainWindows::Find(int64_t positionInFile, int32_t* index) {
  for (int32_t k = 0; k < used; ++k) {
    const int32_t w = (last + k) % used;
    if (windows[w].nextInFile >= 0 && Holds(windows[w], positionInFile, index)) {
      last = w;
      *index = MakeRoom(&windows[w], *index);
      return windows[w];
    }
  }
  last = used < kMaxWindows ? used++ : static_cast<int32_t>(NextRandom() % kMaxWindows);
  Window& window = windows[last];
  Release(&window);
  window.nextInFile = positionInFile;
  *index = 0;
  return window;
}
