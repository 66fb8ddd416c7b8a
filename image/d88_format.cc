#include "image/d88_format.h"

#include "image/byte_order.h"

void DecodeImageHeader(const uint8_t* bytes, ImageHeader* header) {
  int length = 0;
  while (length < kDiskNameBytes && bytes[kDiskNameOffset + length] != 0) {
    header->diskName[length] = static_cast<char>(bytes[kDiskNameOffset + length]);
    ++length;
  }
  header->diskName[length] = '\0';
  header->mediaType = bytes[kMediaTypeOffset];
  header->diskSize = static_cast<int32_t>(ReadLE32(bytes + kDiskSizeOffset));
  for (int track = 0; track < kTrackCount; ++track) {
    header->trackOffsets[track] =
        static_cast<int32_t>(ReadLE32(bytes + kTrackTableOffset + 4 * track));
  }
}

RecordHeader DecodeRecordHeader(const uint8_t* bytes) {
  return RecordHeader{bytes[0],
                      bytes[1],
                      bytes[2],
                      bytes[3],
                      ReadLE16(bytes + kRecordSectorCountOffset),
                      ReadLE16(bytes + kRecordDataSizeOffset)};
}
