#include "image/walk_sweep.h"

#include <algorithm>
#include <functional>
#include <queue>
#include <random>
#include <utility>

namespace {

// The layout sector a record is, as track * 8 + sector - 1; -1 when it is
// none (a size code other than 3, a head past 1, a sector outside 1 to 8).
int64_t LayoutKey(const RecordHeader& header) {
  const int32_t track = header.c * 2 + header.h;
  if (header.n != k2HDSizeCode || header.h > 1 || track >= kTrackCount) return -1;
  const int32_t sector = header.r - k2HDFirstSector;
  if (sector < 0 || sector >= k2HDSectorsPerTrack) return -1;
  return track * k2HDSectorsPerTrack + sector;
}

}  // namespace

size_t WalkSweep::Mix::operator()(int64_t value) const {
  // splitmix64's finisher over the value moved by the key: a file that does
  // not know the key cannot pick values that share a bucket.
  uint64_t x = static_cast<uint64_t>(value) + key;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9u;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBu;
  return static_cast<size_t>(x ^ (x >> 31));
}

WalkSweep::WalkSweep(uint64_t seed) : hashKey(seed) {
  if (hashKey == 0) {
    std::random_device device;
    hashKey = static_cast<uint64_t>(device()) << 32 | device();
  }
}

void WalkSweep::Run(CachedFile* file, const int64_t* starts, int32_t count) {
  walks.assign(static_cast<size_t>(count), Walk{});
  groups.clear();
  using Next = std::pair<int64_t, size_t>;  // a group's position, its index
  std::priority_queue<Next, std::vector<Next>, std::greater<Next>> queue;
  for (int32_t id = 0; id < count; ++id) {
    for (SectorData& sector : walks[id].sectors) sector = SectorData{-1, -1};
    if (starts[id] < 0) continue;
    walks[id].startInFile = starts[id];
    groups.push_back(
        Group{starts[id], 0, 1, 1, 0, 0, WalksBy(1, Mix{hashKey}), WalksBy(8, Mix{hashKey}), {}});
    Group& group = groups.back();
    group.byBase[0].push_back(id);
    const int64_t firstKey = int64_t{id % kTrackCount} * k2HDSectorsPerTrack;
    for (int64_t key = firstKey; key < firstKey + k2HDSectorsPerTrack; ++key) {
      group.waiting[key].push_back(id);
      group.waitingKeys[key / 64] |= uint64_t{1} << (key % 64);
    }
    queue.push({starts[id], groups.size() - 1});
  }
  lastHeaderInFile = 0;
  while (!queue.empty()) {
    size_t index = queue.top().second;
    queue.pop();
    if (groups[index].walking == 0) continue;  // merged into another
    // Groups that reach one record go on as one, the larger taking the other.
    while (!queue.empty() && queue.top().first == groups[index].positionInFile) {
      size_t other = queue.top().second;
      queue.pop();
      if (groups[other].walking == 0) continue;
      if (groups[other].joined > groups[index].joined) std::swap(index, other);
      Merge(&groups[index], &groups[other]);
    }
    // On while no other group lies before it.
    while (Step(file, &groups[index])) {
      if (!queue.empty() && queue.top().first <= groups[index].positionInFile) {
        queue.push({groups[index].positionInFile, index});
        break;
      }
    }
  }
}

bool WalkSweep::Step(CachedFile* file, Group* group) {
  const int64_t at = group->positionInFile;
  uint8_t bytes[kRecordHeaderBytes];
  const int64_t arrived = file->ReadHeader(at, at - lastHeaderInFile, bytes);
  lastHeaderInFile = at;
  if (arrived < kRecordHeaderBytes) {
    // The end of the file ends the walks; a failed read leaves them unknown,
    // to be walked again when asked.
    EndAll(group, !file->ReadFailed());
    file->ForgetReadFailure();
    return false;
  }
  const RecordHeader header = DecodeRecordHeader(bytes);
  if (header.sectorCount == 0) {
    EndAll(group, true);
    return false;
  }
  const int64_t key = LayoutKey(header);
  if (key >= 0 && (group->waitingKeys[key / 64] >> (key % 64) & 1) != 0) {
    group->waitingKeys[key / 64] &= ~(uint64_t{1} << (key % 64));
    const auto waiting = group->waiting.find(key);
    for (const int32_t id : waiting->second) {
      if (!walks[id].ended) {
        walks[id].sectors[header.r - k2HDFirstSector] =
            SectorData{at + kRecordHeaderBytes, header.dataSize};
      }
    }
    group->waiting.erase(waiting);
  }
  EndAt(group, header.sectorCount - 1 - group->steps);
  if (header.sectorCount != kMaxWalkRecords) EndAt(group, kMaxWalkRecords - 1 - group->steps);
  if (group->walking == 0) {
    EndAll(group, true);
    return false;
  }
  ++group->steps;
  group->positionInFile = at + kRecordHeaderBytes + header.dataSize;
  return true;
}

void WalkSweep::EndAt(Group* group, int64_t base) {
  if (base < group->lowBase || base > group->highBase) return;
  const auto ending = group->byBase.find(base);
  if (ending == group->byBase.end()) return;
  for (const int32_t id : ending->second) {
    walks[id].ended = true;
    walks[id].known = true;
  }
  group->walking -= static_cast<int32_t>(ending->second.size());
  group->byBase.erase(ending);
}

void WalkSweep::EndAll(Group* group, bool known) {
  for (const auto& [base, ids] : group->byBase) {
    for (const int32_t id : ids) {
      walks[id].ended = true;
      walks[id].known = known;
    }
  }
  group->walking = 0;
  WalksBy(0, Mix{hashKey}).swap(group->byBase);
  WalksBy(0, Mix{hashKey}).swap(group->waiting);
}

void WalkSweep::Merge(Group* into, Group* from) {
  // A walk at position steps + base in `from` stands at the same position
  // in `into` with its base moved by the difference of the step counts.
  const int64_t shift = from->steps - into->steps;
  for (auto& [base, ids] : from->byBase) {
    std::vector<int32_t>& moved = into->byBase[base + shift];
    moved.insert(moved.end(), ids.begin(), ids.end());
  }
  for (auto& [key, ids] : from->waiting) {
    std::vector<int32_t>& moved = into->waiting[key];
    moved.insert(moved.end(), ids.begin(), ids.end());
  }
  into->lowBase = std::min(into->lowBase, from->lowBase + shift);
  into->highBase = std::max(into->highBase, from->highBase + shift);
  for (int32_t word = 0; word < kWaitingKeyWords; ++word) {
    into->waitingKeys[word] |= from->waitingKeys[word];
  }
  into->walking += from->walking;
  into->joined += from->joined;
  from->walking = 0;
  WalksBy(0, Mix{hashKey}).swap(from->byBase);
  WalksBy(0, Mix{hashKey}).swap(from->waiting);
}

WalkSweep::Answer WalkSweep::Find(int32_t id, int64_t startInFile, int32_t r,
                                  SectorData* found) const {
  if (id < 0 || static_cast<size_t>(id) >= walks.size() || !walks[id].known ||
      walks[id].startInFile != startInFile) {
    return Answer::kUnknown;
  }
  const SectorData& sector = walks[id].sectors[r - k2HDFirstSector];
  if (sector.sizeBytes < 0) return Answer::kNone;
  *found = sector;
  return Answer::kFound;
}
