// CachedFile: the open D88 file and a small cache of its blocks, kept
// together so that the cache can only ever describe the file it belongs
// to. A record header or a sector in a cached block costs no system call;
// one that is not costs one read of one block, or of itself alone when it
// lies far from the header read before.
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

  // As Read for a record header `gap` bytes past the one read before: when
  // that is 16 KiB or more and no cached block holds it, it is read on its
  // own, for a block there would bring few other headers.
  int64_t ReadHeader(int64_t positionInFile, int64_t gap, uint8_t* destination);

  // What the reads since Open have cost, in reads served from a cached
  // block: a block loaded counts 2,048 (128 KiB copied), a read made alone
  // 100 (a system call).
  int64_t Cost() const { return cost; }

  // Forgets that a read failed, for a caller that keeps the failure's
  // consequence itself (a read that fails again fails again).
  void ForgetReadFailure() { readFailed = false; }

  // Whether a read of the file failed since it was opened: answers since
  // then may be short. No failed block is kept, so this is its only trace.
  bool ReadFailed() const { return readFailed; }

 private:
  // Small blocks keep a walk through records far apart from reading much
  // more than it uses; 8 of them still hold a whole walk of packed records
  // (65,535 headers of 16 bytes).
  static constexpr int kBlockBytes = 1 << 17;
  static constexpr int kBlockCount = 8;
  static constexpr int32_t kFarApart = 16 * 1024;

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
  int64_t cost;
  uint8_t bytes[kBlockCount][kBlockBytes];
};
