// Layout of a D88 file: disk images stored back to back, each a header, a
// track table and, per track, a chain of sector records.
#pragma once

#include <cstdint>

#include "image/byte_order.h"

// Image header, 688 bytes at the start of every image (offsets from the image start):
//   0x00  16      disk name, up to the first 0x00 (no terminator needed)
//   0x1B   1      media type (0x20 = 2HD)
//   0x1C   4 LE   disk size: bytes of this image, header included; the step to the next image
//   0x20 164x4 LE track offsets from the image start; 0 = track absent
constexpr int kImageHeaderBytes = 0x2B0;
constexpr int kDiskNameOffset = 0x00;
constexpr int kDiskNameBytes = 16;
constexpr int kMediaTypeOffset = 0x1B;
constexpr int kDiskSizeOffset = 0x1C;
constexpr int kTrackTableOffset = 0x20;
constexpr int kTrackCount = 164;
constexpr int kMaxImages = 64;
constexpr int kMediaType2HD = 0x20;

// The disk size and the offset of `track` read from an image header, as
// signed numbers: a negative size steps back, a negative offset makes the
// track unusable.
inline int32_t DiskSizeIn(const uint8_t* header) {
  return static_cast<int32_t>(ReadLE32(header + kDiskSizeOffset));
}
inline int32_t TrackOffsetIn(const uint8_t* header, int track) {
  return static_cast<int32_t>(ReadLE32(header + kTrackTableOffset + 4 * track));
}

// The 2HD layout: track t holds cylinder t / 2 and head t % 2, sectors 1 to
// 8 of 1024 bytes (size code 3). Reads in it are the ones the reader answers
// fastest.
constexpr int32_t k2HDFirstSector = 1;
constexpr int32_t k2HDSectorsPerTrack = 8;
constexpr int32_t k2HDSizeCode = 3;
constexpr int32_t CylinderOfTrack(int32_t track) { return track / 2; }
constexpr int32_t HeadOfTrack(int32_t track) { return track % 2; }

// Sector record: a 16-byte header, then `data size` bytes of data.
//   0x00 C, 0x01 H, 0x02 R, 0x03 N (size code: nominally 128 << N bytes)
//   0x04  2 LE  sector count: records in this track, carried by every record
//   0x0E  2 LE  data size: bytes of data after this header
constexpr int kRecordHeaderBytes = 16;
// A walk's sector counts end it; no count reaches past this many records.
constexpr int32_t kMaxWalkRecords = 65535;
constexpr int kRecordSectorCountOffset = 0x04;
constexpr int kRecordDataSizeOffset = 0x0E;

struct RecordHeader {
  uint8_t c, h, r, n;
  uint16_t sectorCount;
  uint16_t dataSize;
};

// `bytes` holds kRecordHeaderBytes bytes.
inline RecordHeader DecodeRecordHeader(const uint8_t* bytes) {
  return RecordHeader{bytes[0],
                      bytes[1],
                      bytes[2],
                      bytes[3],
                      ReadLE16(bytes + kRecordSectorCountOffset),
                      ReadLE16(bytes + kRecordDataSizeOffset)};
}
