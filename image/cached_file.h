// CachedFile: the open D88 file and a small cache of its blocks, kept
// together so that the cache can only ever describe the file it belongs
// to. A record header or a sector read before costs no system call; one
// that is not costs one read of one block, or of itself alone where the
// caller knows it lies far from what it read last.
#pragma once

#include <cstdint>

#include "image/input_file.h"

class CachedFile {
 public:
  CachedFile() { ForgetBlocks(); }

  // As InputFile::Open, forgetting every block and any read failure.
  bool Open(const char* path);
  void Close();
  bool IsOpen() const { return file.IsOpen(); }
  const FileIdentity& GetIdentity() const { return file.GetIdentity(); }

  // Copies up to `length` bytes from `positionInFile` into `destination` and
  // returns how many arrived: fewer than `length` where the file ends, or
  // where a read failed (then ReadFailed). Destination bytes past the count
  // are untouched. Neither number may be negative.
  int64_t Read(int64_t positionInFile, uint8_t* destination, int64_t length);

  // As Read, but bytes in no cached block are read on their own, loading no
  // block: for a record header far from the last, where a block would bring
  // little else a walk needs.
  int64_t ReadAlone(int64_t positionInFile, uint8_t* destination, int64_t length);

  // Whether a read of the file failed since it was opened: answers since
  // then may be short. No failed block is kept, so this is its only trace.
  bool ReadFailed() const { return readFailed; }

 private:
  // Small blocks keep a walk through records far apart from reading much
  // more than it uses; 64 of them still hold a whole walk of packed records
  // (65,535 headers of 16 bytes).
  static constexpr int kBlockBytes = 1 << 17;
  static constexpr int kBlockCount = 8;

  // The slot holding `block`, loaded into the least recently used slot when
  // it is not cached; -1 when the read fails.
  int FindOrLoadBlock(int64_t block);
  void ForgetBlocks();

  InputFile file;
  // Slot s holds the file's bytes from blockNumber[s] * kBlockBytes; -1 = empty.
  int64_t blockNumber[kBlockCount];
  int32_t validBytes[kBlockCount];  // fewer than kBlockBytes at the end of the file
  uint32_t lastUse[kBlockCount];
  uint32_t useClock;
  int lastHit;  // the slot found last: most reads follow the one before
  bool readFailed;
  uint8_t bytes[kBlockCount][kBlockBytes];
};
