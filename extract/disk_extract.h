// Loading a 2HD disk into memory and extracting the files of its directory.
//
// The disk is read whole into DiskBuffer before the first file is written;
// each file is then one write straight from the buffer. Both buffers are
// static, sized for the largest disk, and overwritten by each image.
#pragma once

#include <cstdint>

#include "image/d88_file.h"

constexpr int kUnitBytes = 1024;
constexpr int kTrackBytes = 8 * kUnitBytes;
constexpr int kLoadedTracks = 154;  // tracks 0 to 153; track 0 is never read
constexpr int kDiskBufferBytes = kLoadedTracks * kTrackBytes;

// Unit u of the disk at byte u * 1024: track u / 8, sector u % 8 + 1.
extern uint8_t DiskBuffer[kDiskBufferBytes];
// Track 1 of the disk, read on its own: the directory.
extern uint8_t DirectoryBuffer[kTrackBytes];

// Reads tracks 1 to 153 of the current image of `d88` into DiskBuffer and
// track 1 into DirectoryBuffer, each track as sectors 1 to 8 of 1024 bytes.
// Whatever no read delivers is zero, as if both buffers had been cleared
// first: track 0, an absent track, and a track from its first missing or
// short sector on (a short sector's own bytes stand).
void LoadDisk(D88File& d88);

// Loads the current image of `d88` (image `imageIndex` of the file, for
// messages), prints a listing line for each directory entry and writes its
// file into the current directory. An entry that points outside the disk,
// whose name cannot be a file here, or whose file cannot be written is
// reported and skipped; false if there was any. The rest are still written.
bool ExtractImage(D88File& d88, int32_t imageIndex);

// Creates or truncates the file `name` in the current directory and writes
// `length` bytes of `data` into it. False if it cannot be created or is
// written short.
bool SaveBuffer(const char* name, const uint8_t* data, int32_t length);

// Reads offset + length bytes of sectors from c/h/r/n of `track` on into the
// start of DiskBuffer (as D88File::ReadSectors) and saves bytes offset to
// offset + length - 1 of it as `name`. False, reading nothing, when the
// range does not fit DiskBuffer; false when no byte was read or the file
// cannot be written.
bool SaveSectors(D88File& d88, const char* name, int32_t track, int32_t c, int32_t h, int32_t r,
                 int32_t n, int32_t offset, int32_t length);
