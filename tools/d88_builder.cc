#include "tools/d88_builder.h"

#include <algorithm>
#include <cstdio>

namespace d88build {

void PutLE16(Bytes* bytes, size_t offset, uint16_t value) {
  (*bytes)[offset] = static_cast<uint8_t>(value);
  (*bytes)[offset + 1] = static_cast<uint8_t>(value >> 8);
}

void PutLE32(Bytes* bytes, size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) (*bytes)[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

void AppendRecord(const Record& record, Bytes* out) {
  const size_t at = out->size();
  out->resize(at + kRecordHeaderBytes, 0);
  (*out)[at + 0] = record.c;
  (*out)[at + 1] = record.h;
  (*out)[at + 2] = record.r;
  (*out)[at + 3] = record.n;
  PutLE16(out, at + kRecordSectorCountOffset, record.sectorCount);
  PutLE16(out, at + kRecordDataSizeOffset,
          record.dataSizeField.value_or(static_cast<uint16_t>(record.data.size())));
  out->insert(out->end(), record.data.begin(), record.data.end());
}

Bytes BuildImage(const Image& image) {
  Bytes out(kImageHeaderBytes, 0);
  for (size_t i = 0; i < image.name.size() && i < kDiskNameBytes; ++i) {
    out[i] = static_cast<uint8_t>(image.name[i]);
  }
  out[kMediaTypeOffset] = image.mediaType;
  for (const auto& [track, records] : image.tracks) {
    PutLE32(&out, kTrackTableOffset + 4 * track, static_cast<uint32_t>(out.size()));
    for (const Record& record : records) AppendRecord(record, &out);
  }
  for (const auto& [track, offset] : image.trackOffsetOverrides) {
    PutLE32(&out, kTrackTableOffset + 4 * track, offset);
  }
  PutLE32(&out, kDiskSizeOffset,
          image.diskSizeOverride.value_or(static_cast<uint32_t>(out.size())));
  return out;
}

Bytes BuildD88(const std::vector<Image>& images) {
  Bytes out;
  for (const Image& image : images) {
    const Bytes built = BuildImage(image);
    out.insert(out.end(), built.begin(), built.end());
  }
  return out;
}

void SetDirectoryEntry(Disk* disk, int entry, const std::string& name, uint16_t startUnit,
                       uint16_t endUnit) {
  const size_t at = kDirectoryTrack * kTrackBytes + kDirEntryBytes * static_cast<size_t>(entry);
  for (size_t i = 0; i < kDirNameBytes; ++i) {
    disk->bytes[at + i] = i < name.size() ? static_cast<uint8_t>(name[i]) : 0x20;
  }
  PutLE16(&disk->bytes, at + kDirStartOffset, startUnit);
  PutLE16(&disk->bytes, at + kDirEndOffset, endUnit);
}

void EndDirectory(Disk* disk, int entry) {
  disk->bytes[kDirectoryTrack * kTrackBytes + kDirEntryBytes * static_cast<size_t>(entry)] =
      kDirEndMark;
}

void PutUnits(Disk* disk, int startUnit, const Bytes& contents) {
  std::copy(contents.begin(), contents.end(),
            disk->bytes.begin() + static_cast<ptrdiff_t>(startUnit) * kUnitBytes);
}

int AddFile(Disk* disk, int entry, const std::string& name, int startUnit, const Bytes& contents,
            uint8_t fill) {
  const int units = static_cast<int>((contents.size() + kUnitBytes - 1) / kUnitBytes);
  Bytes padded = contents;
  padded.resize(static_cast<size_t>(units) * kUnitBytes, fill);
  PutUnits(disk, startUnit, padded);
  SetDirectoryEntry(disk, entry, name, static_cast<uint16_t>(startUnit),
                    static_cast<uint16_t>(startUnit + units - 1));
  return startUnit + units;
}

std::vector<Record> TrackRecords(const Disk& disk, int track) {
  std::vector<Record> records;
  for (int sector = 0; sector < kSectorsPerTrack; ++sector) {
    Record record;
    record.c = static_cast<uint8_t>(CylinderOfTrack(track));
    record.h = static_cast<uint8_t>(HeadOfTrack(track));
    record.r = static_cast<uint8_t>(kFirstSector + sector);
    record.n = kSectorSizeCode;
    record.sectorCount = kSectorsPerTrack;
    const auto begin = disk.bytes.begin() + track * kTrackBytes + sector * kUnitBytes;
    record.data.assign(begin, begin + kUnitBytes);
    records.push_back(std::move(record));
  }
  return records;
}

Image ImageFromDisk(const Disk& disk) {
  Image image;
  image.name = disk.name;
  for (int track = 0; track < kLoadedTracks; ++track)
    image.tracks[track] = TrackRecords(disk, track);
  return image;
}

Bytes BuildHostileChain(int images, int records) {
  Bytes out;
  for (int index = 0; index < records; ++index) {
    if (index < images) {
      // Image `index` starts here; record `index` follows its header.
      Image image;
      image.name = "HOSTILE";
      for (int track = 0; track < kTrackCount; ++track) {
        image.trackOffsetOverrides[track] = kImageHeaderBytes;
      }
      image.diskSizeOverride = kImageHeaderBytes + kRecordHeaderBytes;
      const Bytes header = BuildImage(image);
      out.insert(out.end(), header.begin(), header.end());
    }
    const bool last = index >= records - images;
    Record record;
    record.c = last ? 0 : static_cast<uint8_t>(0x80 + index % 0x80);
    record.h = last ? 1 : 0;
    record.r = 1;
    record.n = 3;
    record.sectorCount = 65535;
    if (last) record.data = {0xFF};
    // The next image's header is this record's data: it follows in the file.
    if (index < images - 1) record.dataSizeField = static_cast<uint16_t>(kImageHeaderBytes);
    AppendRecord(record, &out);
  }
  return out;
}

Bytes TextBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes PatternBytes(size_t length, uint8_t seed) {
  Bytes bytes(length);
  for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<uint8_t>(seed + i);
  return bytes;
}

bool WriteFileBytes(const std::string& path, const Bytes& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

}  // namespace d88build
