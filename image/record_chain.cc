#include "image/record_chain.h"

#include <algorithm>
#include <cassert>
#include <cstring>

int64_t RecordChain::NextRecordInFile() const {
  if (count == 0) return firstInFile;
  return positionInFile[count - 1] + kRecordHeaderBytes + dataSize[count - 1];
}

void RecordChain::StartAt(int64_t position) {
  firstInFile = position;
  count = 0;
  complete = false;
}

void RecordChain::DropEntriesBefore(int32_t index) {
  const size_t kept = static_cast<size_t>(count - index);
  std::memmove(positionInFile, positionInFile + index, kept * sizeof(int64_t));
  std::memmove(chrn, chrn + index, kept * sizeof(uint32_t));
  std::memmove(sectorCount, sectorCount + index, kept * sizeof(uint16_t));
  std::memmove(dataSize, dataSize + index, kept * sizeof(uint16_t));
  count -= index;
  firstInFile = positionInFile[0];
}

int32_t RecordChain::FindWalkStart(int64_t position) {
  int32_t index = -1;
  if (firstInFile == position) {
    index = 0;
  } else if (count > 0) {
    const int64_t* begin = positionInFile;
    const int64_t* end = begin + count;
    const int64_t* found = std::lower_bound(begin, end, position);
    if (found != end && *found == position) {
      index = static_cast<int32_t>(found - begin);
    } else if (found == end && !complete && NextRecordInFile() == position) {
      index = count;  // the walk continues the chain, as the next track usually does
    }
  }
  if (index < 0) {
    StartAt(position);
    return 0;
  }
  if (index + kMaxWalkRecords > kCapacity) {
    if (index == count) {
      StartAt(position);
    } else {
      DropEntriesBefore(index);
    }
    return 0;
  }
  return index;
}

bool RecordChain::LoadMore(CachedFile& file, int32_t index) {
  assert(index < kCapacity);  // FindWalkStart leaves room for a whole walk
  if (index >= kCapacity) return false;
  while (count <= index) {
    if (complete) return false;
    const int64_t position = NextRecordInFile();
    uint8_t bytes[kRecordHeaderBytes];
    if (file.Read(position, bytes, kRecordHeaderBytes) < kRecordHeaderBytes) {
      // Only the end of the file ends a chain for good; after a failed read
      // nothing is concluded.
      if (!file.ReadFailed()) complete = true;
      return false;
    }
    const RecordHeader header = DecodeRecordHeader(bytes);
    positionInFile[count] = position;
    chrn[count] = PackChrn(header.c, header.h, header.r, header.n);
    sectorCount[count] = header.sectorCount;
    dataSize[count] = header.dataSize;
    ++count;
  }
  return true;
}
