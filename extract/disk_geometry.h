// The 2HD disk as the tool loads it: 77 cylinders by 2 heads, track index
// cylinder * 2 + head, each track sectors 1 to 8 of 1024 bytes (size code 3).
// The disk is held in 1 KiB units: unit u at byte u * 1024, that is track
// u / 8, sector u % 8 + 1.
#pragma once

#include <cstdint>

#include "image/d88_format.h"

constexpr int32_t kUnitBytes = 1024;
constexpr int32_t kSectorsPerTrack = k2HDSectorsPerTrack;
constexpr int32_t kFirstSector = k2HDFirstSector;
constexpr int32_t kLastSector = kFirstSector + kSectorsPerTrack - 1;
constexpr int32_t kSectorSizeCode = k2HDSizeCode;  // 128 << 3 = kUnitBytes
constexpr int32_t kTrackBytes = kSectorsPerTrack * kUnitBytes;
// Tracks 0 to 153 are held; track 0 is never read and stays zero.
constexpr int32_t kLoadedTracks = 154;
constexpr int32_t kFirstLoadedTrack = 1;
constexpr int32_t kDiskBytes = kLoadedTracks * kTrackBytes;
constexpr int32_t kDiskUnits = kLoadedTracks * kSectorsPerTrack;
// The directory fills track 1: cylinder 0, head 1.
constexpr int32_t kDirectoryTrack = 1;

static_assert(128 << kSectorSizeCode == kUnitBytes);
