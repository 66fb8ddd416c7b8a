#include "image/record_chain.h"

#include <algorithm>
#include <cassert>
#include <cstring>

void ClearRecordChain(RecordChain* chain) {
  chain->firstInFile = -1;
  chain->count = 0;
  chain->complete = false;
}

namespace {

int64_t NextRecordInFile(const RecordChain& chain) {
  if (chain.count == 0) return chain.firstInFile;
  const int32_t last = chain.count - 1;
  return chain.positionInFile[last] + kRecordHeaderBytes + chain.dataSize[last];
}

void StartChain(RecordChain* chain, int64_t positionInFile) {
  chain->firstInFile = positionInFile;
  chain->count = 0;
  chain->complete = false;
}

// Drops the entries before `index`, which becomes entry 0.
void DropEntriesBefore(RecordChain* chain, int32_t index) {
  const size_t kept = static_cast<size_t>(chain->count - index);
  std::memmove(chain->positionInFile, chain->positionInFile + index, kept * sizeof(int64_t));
  std::memmove(chain->chrn, chain->chrn + index, kept * sizeof(uint32_t));
  std::memmove(chain->sectorCount, chain->sectorCount + index, kept * sizeof(uint16_t));
  std::memmove(chain->dataSize, chain->dataSize + index, kept * sizeof(uint16_t));
  chain->count -= index;
  chain->firstInFile = chain->positionInFile[0];
}

}  // namespace

int32_t FindWalkStart(RecordChain* chain, int64_t positionInFile) {
  int32_t index = -1;
  if (chain->firstInFile == positionInFile) {
    index = 0;
  } else if (chain->count > 0) {
    const int64_t* begin = chain->positionInFile;
    const int64_t* end = begin + chain->count;
    const int64_t* found = std::lower_bound(begin, end, positionInFile);
    if (found != end && *found == positionInFile) {
      index = static_cast<int32_t>(found - begin);
    } else if (found == end && !chain->complete && NextRecordInFile(*chain) == positionInFile) {
      index = chain->count;  // the walk continues the chain, as the next track usually does
    }
  }
  if (index < 0) {
    StartChain(chain, positionInFile);
    return 0;
  }
  if (index + kMaxWalkRecords > kChainCapacity) {
    if (index == chain->count) {
      StartChain(chain, positionInFile);
      return 0;
    }
    DropEntriesBefore(chain, index);
    return 0;
  }
  return index;
}

bool LoadChainEntry(RecordChain* chain, BlockCache* cache, InputFile& file, int32_t index) {
  assert(index < kChainCapacity);  // FindWalkStart leaves room for a whole walk
  if (index >= kChainCapacity) return false;
  while (chain->count <= index) {
    if (chain->complete) return false;
    const int64_t position = NextRecordInFile(*chain);
    uint8_t bytes[kRecordHeaderBytes];
    if (ReadThroughCache(cache, file, position, bytes, kRecordHeaderBytes) < kRecordHeaderBytes) {
      // Only the end of the file ends a chain for good; after a failed read
      // nothing is concluded.
      if (!cache->readFailed) chain->complete = true;
      return false;
    }
    const RecordHeader header = DecodeRecordHeader(bytes);
    const int32_t entry = chain->count;
    chain->positionInFile[entry] = position;
    chain->chrn[entry] = PackChrn(header.c, header.h, header.r, header.n);
    chain->sectorCount[entry] = header.sectorCount;
    chain->dataSize[entry] = header.dataSize;
    chain->count = entry + 1;
  }
  return true;
}
