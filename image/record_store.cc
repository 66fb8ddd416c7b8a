#include "image/record_store.h"

#include <algorithm>
#include <type_traits>

namespace {

// Grows `array` to `size` elements; false, leaving it as it was, when the
// memory cannot be had.
template <typename Array>
bool Resize(Array* array, int32_t size) {
  using T = std::remove_reference_t<decltype((*array)[0])>;
  void* grown = std::realloc(array->get(), sizeof(T) * static_cast<size_t>(size));
  if (grown == nullptr) return false;
  array->release();
  array->reset(static_cast<T*>(grown));
  return true;
}

uint32_t SlotOf(int64_t positionInFile, int32_t slots) {
  // Fibonacci hashing: positions that differ only in low bits spread out.
  const uint64_t mixed = static_cast<uint64_t>(positionInFile) * 0x9E3779B97F4A7C15u;
  return static_cast<uint32_t>(mixed >> 32) & static_cast<uint32_t>(slots - 1);
}

}  // namespace

void RecordStore::Clear() {
  count = 0;
  runCount = 0;
  if (table) std::fill(table.get(), table.get() + tableSlots, -1);
}

int32_t RecordStore::Find(int64_t positionInFile) const {
  if (count == 0) return -1;
  for (uint32_t slot = SlotOf(positionInFile, tableSlots);;
       slot = (slot + 1) & static_cast<uint32_t>(tableSlots - 1)) {
    const int32_t index = table[slot];
    if (index < 0 || position[index] == positionInFile) return index;
  }
}

int32_t RecordStore::RunOf(int32_t index) const {
  const Run* begin = runs.get();
  const Run* after =
      std::upper_bound(begin, begin + runCount, index,
                       [](int32_t value, const Run& run) { return value < run.first; });
  return static_cast<int32_t>(after - begin) - 1;
}

bool RecordStore::Reserve() {
  if (count == maxRecords) return false;
  if (count == capacity) {
    const int32_t grown = std::min(maxRecords, std::max(4096, 2 * capacity));
    if (!Resize(&position, grown) || !Resize(&chrn, grown) || !Resize(&sectorCount, grown) ||
        !Resize(&dataSize, grown)) {
      return false;
    }
    capacity = grown;
  }
  if (runCount == runCapacity) {
    const int32_t grown = std::min(maxRecords, std::max(256, 2 * runCapacity));
    if (!Resize(&runs, grown)) return false;
    runCapacity = grown;
  }
  // At most three quarters of the slots in use, so that probes stay short.
  if (4 * (static_cast<int64_t>(count) + 1) > 3 * static_cast<int64_t>(tableSlots)) {
    return GrowTable(std::max(8192, 2 * tableSlots));
  }
  return true;
}

bool RecordStore::GrowTable(int32_t slots) {
  if (!Resize(&table, slots)) return false;
  tableSlots = slots;
  std::fill(table.get(), table.get() + tableSlots, -1);
  for (int32_t index = 0; index < count; ++index) Insert(index);
  return true;
}

void RecordStore::Insert(int32_t index) {
  uint32_t slot = SlotOf(position[index], tableSlots);
  while (table[slot] >= 0) slot = (slot + 1) & static_cast<uint32_t>(tableSlots - 1);
  table[slot] = index;
}

int32_t RecordStore::Add(int64_t positionInFile, const RecordHeader& header, int32_t* run) {
  if (!HasRoomForOne() && !Reserve()) return -1;
  const int32_t index = count++;
  position[index] = positionInFile;
  chrn[index] = PackChrn(header.c, header.h, header.r, header.n);
  sectorCount[index] = header.sectorCount;
  dataSize[index] = header.dataSize;
  Insert(index);
  // The record extends its predecessor's run when that is the last run,
  // ending right before it here too; otherwise it starts a run of its own,
  // which the predecessor's run links to.
  if (*run >= 0 && *run == runCount - 1) return index;
  if (*run >= 0) Link(*run, index);
  runs[runCount] = Run{index, kUnknown};
  *run = runCount++;
  return index;
}
