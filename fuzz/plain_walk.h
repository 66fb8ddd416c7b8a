// The D88 format read the plain way, from a whole file held in memory: each
// read walks its track record by record from the first one, with no cache and
// no memo. The reader's fast paths must give exactly these results, so the
// fuzz targets compare the two.
#pragma once

#include <cstddef>
#include <cstdint>

struct PlainImage {
  const uint8_t* file = nullptr;
  size_t fileSize = 0;
  int64_t imageOffset = 0;
  int32_t diskSize = 0;
  int32_t mediaType = -1;
  char diskName[17] = {};
  int32_t trackOffsets[164] = {};
  int32_t firstSector = 1;  // the sector range of ReadSectors
  int32_t lastSector = 16;
};

// Finds the image starts as Open does; returns how many (0 to 64).
int32_t PlainImageStarts(const uint8_t* file, size_t fileSize, int64_t starts[64]);

// Image `index` (below PlainImageStarts' count) as SelectImage makes it current.
PlainImage PlainSelect(const uint8_t* file, size_t fileSize, int64_t imageStart);

int32_t PlainReadSector(const PlainImage& image, int32_t track, int32_t c, int32_t h, int32_t r,
                        int32_t n, uint8_t* buffer, int32_t maxLength);
int32_t PlainReadSectors(const PlainImage& image, int32_t track, int32_t c, int32_t h, int32_t r,
                         int32_t n, uint8_t* buffer, int32_t length);
int32_t PlainReadSectorIds(const PlainImage& image, int32_t track, uint8_t* buffer, int32_t length);
