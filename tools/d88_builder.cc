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

bool WriteWalkFamily(const std::string& path, const WalkFamily& family) {
  const int lastStart = *std::max_element(family.starts.begin(), family.starts.end());
  const int lastImageFirst = (family.images - 1) * family.spacing;
  const int backCarrier = lastImageFirst + lastStart + 1;  // holds the image that steps back
  const int records = backCarrier + 1 + 65535;  // the longest walk, past the last start
  // Records carry `dataBytes`, but those before an image carry its header.
  auto isCarrier = [&](int r) {
    return (family.images > 1 && (r + 1) % family.spacing == 0 && r + 1 <= lastImageFirst) ||
           (family.cycle && r == backCarrier);
  };
  auto carriersBefore = [&](int r) {
    const int images = family.images > 1 ? std::min(r, lastImageFirst) / family.spacing : 0;
    return images + (family.cycle && r > backCarrier ? 1 : 0);
  };
  auto positionOf = [&](int r) {
    return kImageHeaderBytes + static_cast<int64_t>(r) * (kRecordHeaderBytes + family.dataBytes) +
           static_cast<int64_t>(carriersBefore(r)) * (kImageHeaderBytes - family.dataBytes);
  };
  auto imageStartOf = [&](int first) {
    return first == 0 ? 0 : positionOf(first - 1) + kRecordHeaderBytes;
  };
  const int64_t backStart = positionOf(backCarrier) + kRecordHeaderBytes;
  const int64_t fileEnd = positionOf(records);
  // The header of the image whose first record is `first`.
  auto imageHeader = [&](int first) {
    Image image;
    image.name = "FAMILY";
    const int64_t start = imageStartOf(first);
    for (int track = 0; track < kTrackCount; ++track) {
      const int record = first + family.starts[static_cast<size_t>(track) % family.starts.size()];
      image.trackOffsetOverrides[track] = static_cast<uint32_t>(positionOf(record) - start);
    }
    const int64_t end = first < lastImageFirst ? imageStartOf(first + family.spacing)
                        : family.cycle         ? backStart
                                               : fileEnd;
    image.diskSizeOverride = static_cast<uint32_t>(end - start);
    return BuildImage(image);
  };
  Image back;  // steps back to the first image
  back.name = "BACK";
  back.diskSizeOverride = static_cast<uint32_t>(-backStart);
  const Bytes backHeader = BuildImage(back);
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  Bytes bytes = imageHeader(0);
  bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  for (int r = 0; r < records && written; ++r) {
    // Data that is no header is never written: the file has holes there.
    if (family.dataBytes > 0)
      written = std::fseek(file, static_cast<long>(positionOf(r)), SEEK_SET) == 0;
    Record record;
    record.c = static_cast<uint8_t>(0x80 | (r & 0x7F));
    record.sectorCount = 65535;
    record.dataSizeField =
        static_cast<uint16_t>(positionOf(r + 1) - positionOf(r) - kRecordHeaderBytes);
    bytes.clear();
    AppendRecord(record, &bytes);
    if (isCarrier(r)) {
      const Bytes header = family.cycle && r == backCarrier ? backHeader : imageHeader(r + 1);
      bytes.insert(bytes.end(), header.begin(), header.end());
    }
    written = written && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  }
  // The last record's data, so that the file holds all of it.
  written = written && std::fseek(file, static_cast<long>(fileEnd - 1), SEEK_SET) == 0 &&
            std::fputc(0, file) == 0;
  return std::fclose(file) == 0 && written;
}

bool WriteChainFile(const std::string& path, const ChainFile& chain) {
  std::vector<int> carried(static_cast<size_t>(chain.records), -1);  // the image a record carries
  for (size_t i = 0; i < chain.images.size(); ++i) {
    if (chain.images[i].carrier >= 0) carried[static_cast<size_t>(chain.images[i].carrier)] = static_cast<int>(i);
  }
  std::vector<int64_t> position(static_cast<size_t>(chain.records) + 1);
  position[0] = kImageHeaderBytes;
  for (int r = 0; r < chain.records; ++r) {
    const int data = carried[static_cast<size_t>(r)] >= 0 ? kImageHeaderBytes : chain.dataBytesOf(r);
    position[static_cast<size_t>(r) + 1] = position[static_cast<size_t>(r)] + kRecordHeaderBytes + data;
  }
  const int64_t fileEnd = position.back();
  auto startOf = [&](int image) {
    if (image < 0) return fileEnd;
    const int carrier = chain.images[static_cast<size_t>(image)].carrier;
    return carrier < 0 ? int64_t{0} : position[static_cast<size_t>(carrier)] + kRecordHeaderBytes;
  };
  auto headerOf = [&](int image) {
    const ChainImage& wanted = chain.images[static_cast<size_t>(image)];
    Image built;
    built.name = "CHAIN";
    const int64_t start = startOf(image), size = startOf(wanted.next) - start;
    for (size_t t = 0; t < wanted.starts.size(); ++t) {
      if (wanted.starts[t] < 0) continue;
      const int64_t offset = position[static_cast<size_t>(wanted.starts[t])] - start;
      if (offset <= 0 || offset > size) return Bytes();  // the track would be unusable
      built.trackOffsetOverrides[static_cast<int>(t)] = static_cast<uint32_t>(offset);
    }
    built.diskSizeOverride = static_cast<uint32_t>(size);
    return BuildImage(built);
  };
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  bool written = true;
  for (int r = -1; r < chain.records && written; ++r) {
    const int image = r < 0 ? (chain.images.empty() || chain.images[0].carrier >= 0 ? -1 : 0)
                            : carried[static_cast<size_t>(r)];
    Bytes bytes;
    if (r >= 0) {
      Record record;
      record.c = static_cast<uint8_t>(0x80 | (r & 0x7F));
      record.sectorCount = static_cast<uint16_t>(chain.sectorCountOf(r));
      record.dataSizeField = static_cast<uint16_t>(position[static_cast<size_t>(r) + 1] -
                                                   position[static_cast<size_t>(r)] - kRecordHeaderBytes);
      AppendRecord(record, &bytes);
    }
    if (image >= 0) {
      const Bytes header = headerOf(image);
      written = !header.empty();
      bytes.insert(bytes.end(), header.begin(), header.end());
    }
    const int64_t at = r < 0 ? 0 : position[static_cast<size_t>(r)];
    written = written && std::fseek(file, static_cast<long>(at), SEEK_SET) == 0 &&
              std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  }
  // The last record's data, so that the file holds all of it.
  written = written && std::fseek(file, static_cast<long>(fileEnd - 1), SEEK_SET) == 0 &&
            std::fputc(0, file) == 0;
  return std::fclose(file) == 0 && written;
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
