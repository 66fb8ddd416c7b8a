// The current 2HD image loaded into memory, and its directory as data.
//
// The disk is read whole into the loader's own static buffer before the
// first file is written; each file is then one write straight from it. The
// directory track is read once more into a second buffer and decoded, each
// entry with its verdict, so that listing and extracting are two short
// loops over the same data. Both buffers are overwritten by each load.
#pragma once

#include <cstdint>

#include "extract/disk_directory.h"

class D88File;

struct DiskEntry {
  DirEntry entry;
  EntryVerdict verdict;
};

struct LoadedDisk {
  int32_t entryCount;  // the entries before the end mark
  DiskEntry entries[kDirEntryCount];
};

// Loads the current image of `d88`: tracks 1 to 153 as sectors 1 to 8 of
// 1024 bytes, whatever sector range the reader had, on zeros, so that
// whatever the image does not hold reads as zero bytes; then its directory.
// Null, with nothing to list, when a read of the D88 file fails while the
// disk is loaded (d88.ReadFailed()). What it returns, and the bytes of the
// entries, stay as they are until the next LoadDisk or SaveSectors.
const LoadedDisk* LoadDisk(D88File& d88);

// The bytes of an entry judged kWrite: entry.sizeBytes of them.
const uint8_t* BytesOf(const DirEntry& entry);

// Reads offset + length bytes of sectors from c/h/r/n of `track` on (as
// D88File::ReadSectors) into the start of the disk buffer, cleared first,
// and saves bytes offset to offset + length - 1 of it as `name` in the
// current directory, as the run saves a file (the D88 file and the files the
// standard streams write to are left alone): bytes the run did not deliver
// are zeros. False, reading nothing, when the range does not fit the
// buffer; false when no byte was read, a read failed or the file cannot be
// written.
bool SaveSectors(D88File& d88, const char* name, int32_t track, int32_t c, int32_t h, int32_t r,
                 int32_t n, int32_t offset, int32_t length);
