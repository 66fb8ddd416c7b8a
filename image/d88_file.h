// D88File: the tool's one view of a D88 file, and everything of image/ that
// the rest of the tool sees. It finds the images in the file, makes one of
// them current and reads that image's sectors by C/H/R/N.
//
// Calling order: Open once; then SelectImage for an image, then the getters
// and the sector reads for that image; SelectImage again for the next one.
// Nothing here prints; every failure shows in a result.
#pragma once

#include <cstdint>
#include <memory>

#include "image/d88_format.h"

// What makes a file the same file under any name: the device and inode on
// POSIX; the volume serial number and the file ID on Windows. Unknown when
// the system could not tell.
struct FileIdentity {
  bool known = false;
  uint64_t volume = 0;
  uint64_t file[2] = {};
};

// Whether `a` and `b` may be one file. Where either is unknown the answer
// cannot be no, so callers that must protect a file refuse on their own
// (`known` first). A volume of 0 is one the system could not name: the file
// IDs alone then decide, erring towards "the same".
inline bool MayBeSameFile(const FileIdentity& a, const FileIdentity& b) {
  if (!a.known || !b.known) return true;
  const bool sameVolume = a.volume == b.volume || a.volume == 0 || b.volume == 0;
  return sameVolume && a.file[0] == b.file[0] && a.file[1] == b.file[1];
}

class TrackReader;
struct SectorData;

class D88File {
 public:
  // What reads may cost before the 2HD layout reads of all images are
  // answered by one sweep of the file (track_reader.h): 8 Mi reads from
  // cached blocks, about 0.1 s; tests and the fuzz target sweep at once
  // with 0. A `seed` of 0 draws the sweep's hash key from the system; any
  // other fixes it.
  static constexpr int64_t kDefaultWalkBudget = int64_t{8} << 20;
  explicit D88File(int64_t walkBudget = kDefaultWalkBudget, uint64_t seed = 0);
  ~D88File();
  D88File(const D88File&) = delete;
  D88File& operator=(const D88File&) = delete;

  // Opens the file at `path` and finds its images: image 0 at byte 0, each
  // next one `disk size` bytes on, until a full 688-byte header no longer
  // fits, 64 images are counted or the next start would leave 0..0x7FFFFFFF.
  // True also when no image is found, and when a read fails during the scan
  // (ReadFailed tells; the images before it are counted). False when the
  // file cannot be opened or is not a regular file once links are followed
  // (a directory, a pipe, a FIFO, a device), or the reader's memory cannot
  // be had; then no file is open and the image count keeps its value. A
  // file that was open before is closed first and its current image
  // forgotten; nothing read from it is used again. A null `path` closes, as
  // Close does.
  bool Open(const char* path);

  // Closes the file: no file, image count 0, media type -1. The current
  // image's other fields (its name, its track table) keep their values; with
  // no file every sector read fails.
  void Close();

  int32_t GetImageCount() const { return imageCount; }

  // Which file is open: compared with the files the tool writes, so that it
  // never writes this one. Unknown when no file is open, or where the system
  // cannot tell.
  const FileIdentity& GetFileIdentity() const;

  // Whether a read of the file failed (an I/O error, not its end) since it
  // was opened. From then on any result may be short, as if the file ended
  // early, so a caller that sees it must not trust what it read.
  bool ReadFailed() const;

  // Makes image `index` current. False with no open file (nothing changes),
  // and for an index outside 0..GetImageCount()-1 or once a read has failed
  // (ReadFailed), which leave no image current: media type -1, empty name,
  // every track unusable.
  bool SelectImage(int32_t index);

  // The current image's name: header bytes up to the first 0x00, at most 16.
  // The pointer stays valid for the object's life; the text changes with
  // SelectImage.
  const char* GetDiskName() const { return diskName; }

  // The current image's media type byte (0 to 255), or -1 with no image.
  int32_t GetMediaType() const { return mediaType; }

  // Sector numbers at which ReadSectors wraps to the next track: after
  // `last` comes `first` of the next track. 1 to 16 until set; Open and
  // SelectImage keep it.
  void SetSectorRange(int32_t first, int32_t last);

  // Finds the first record of `track` addressed c/h/r/n and copies up to
  // `maxLength` bytes of its data into `buffer`. Returns the smaller of its
  // data size and `maxLength`, or 0 when no such record is found, the track
  // is absent or unusable, or a value lies outside 0..255. Buffer bytes that
  // the file does not deliver (it ends inside the data) keep their contents.
  int32_t ReadSector(int32_t track, int32_t c, int32_t h, int32_t r, int32_t n, uint8_t* buffer,
                     int32_t maxLength);

  // Reads `length` bytes as a run of sectors of 128 << n bytes (n 0 to 23)
  // from c/h/r/n on: r counts up to the sector range's last, then the run
  // moves to the next track (head 0 to 1, or head 1 to head 0 of the next
  // cylinder) at the range's first. Stops at the first sector that is missing
  // or shorter than its chunk, and returns the bytes of the whole chunks
  // delivered before it; a short sector's bytes still stand in `buffer`.
  int32_t ReadSectors(int32_t track, int32_t c, int32_t h, int32_t r, int32_t n, uint8_t* buffer,
                      int32_t length);

  // Writes the C, H, R and N bytes of the records of `track`, 4 bytes each in
  // stored order, while they fit in `length`. Returns the bytes written.
  int32_t ReadSectorIds(int32_t track, uint8_t* buffer, int32_t length);

 private:
  // Where the first record of `track` of the current image lies in the file;
  // false when there is no file or the track is absent or unusable.
  bool LocateTrack(int32_t track, int64_t* startInFile) const;
  // The record a sector read of the current image's `track` stops at.
  bool FindSector(int32_t track, int64_t startInFile, int32_t c, int32_t h, int32_t r, int32_t n,
                  SectorData* found);
  // Sweeps the tracks of every image (TrackReader::Sweep).
  void SweepAllImages();
  void ForgetCurrentImage();
  bool IsOpen() const;

  int32_t imageCount = 0;
  int32_t firstSector = 1;
  int32_t lastSector = 16;
  int32_t imageOffsets[kMaxImages] = {};
  int32_t currentImage = -1;
  int32_t diskSize = 0;
  int32_t imageOffset = 0;
  int32_t trackOffsets[kTrackCount] = {};
  int32_t mediaType = -1;
  char diskName[kDiskNameBytes + 1] = {};

  // The open file and what speeds up reading it; made by the first Open.
  const int64_t walkBudget;
  const uint64_t seed;
  std::unique_ptr<TrackReader> reader;
};
