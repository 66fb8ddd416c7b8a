// Loading a 2HD disk into memory and extracting the files of its directory.
//
// The disk is read whole into the loader's own static buffer before the
// first file is written; each file is then one write straight from it. The
// directory track is read once more into a second buffer. Both are
// overwritten by each image and reach the outside only as the files written.
#pragma once

#include <cstdint>

class D88File;
class OutputFolder;
struct ProtectedFiles;

// Loads the current image of `d88` (image `imageIndex` of the file, for
// messages): tracks 1 to 153 as sectors 1 to 8 of 1024 bytes, on zeros, so
// that whatever the image does not hold reads as zero bytes. Then prints a
// listing line for each directory entry and writes its file into `folder`.
// An entry that points outside the disk, whose name cannot be a file here,
// that names one of the `files` protected, or whose file cannot be written
// is reported and skipped; false if there was any. The rest are still
// written.
// When a read of the D88 file fails while the disk is loaded
// (d88.ReadFailed()), nothing is listed or written and the result is false.
bool ExtractImage(D88File& d88, int32_t imageIndex, const OutputFolder& folder,
                  const ProtectedFiles& files);

// Reads offset + length bytes of sectors from c/h/r/n of `track` on (as
// D88File::ReadSectors) into the start of the disk buffer, cleared first,
// and saves bytes offset to offset + length - 1 of it as `name` in the
// current directory, as the run saves a file (the D88 file and the files the
// standard streams write to are left alone): bytes the run did not deliver
// are zeros. False, reading nothing, when the range does not fit the buffer;
// false when no byte was read, a read failed or the file cannot be
// written.
bool SaveSectors(D88File& d88, const char* name, int32_t track, int32_t c, int32_t h, int32_t r,
                 int32_t n, int32_t offset, int32_t length);
