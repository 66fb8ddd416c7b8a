// Fuzz target for the reader: the input is a D88 file. Every image is made
// current, and on every track the reader's sector reads, runs of sectors and
// record ID lists, with addresses, ranges and lengths drawn from the input,
// must equal the plain record-by-record walk's, count and bytes alike
// (including the bytes a read leaves alone). Writes nothing but the input.
#include <cstdint>
#include <cstring>
#include <optional>

#include "fuzz/fuzz_support.h"
#include "fuzz/plain_walk.h"
#include "image/d88_file.h"

namespace {

// Made afresh for each input, with the tool's walk budget or, half the time, none,
// so that the sweep answers the layout reads; seeded by the input.
std::optional<D88File> reader;
constexpr int32_t kBufferBytes = 2 * 65536 + 64;
constexpr int32_t kMargin = 64;  // bytes past a read's reach that must stay untouched
constexpr int32_t kWords = (kBufferBytes + kMargin) / 8;
// Between calls both buffers hold the same bytes throughout, so a read's
// result is compared, bytes it left alone included, without filling whole
// buffers. Held as words, so they are compared and refilled a word at a time.
uint64_t actualWords[kWords];
uint64_t expectedWords[kWords];
uint8_t* const actual = reinterpret_cast<uint8_t*>(actualWords);
uint8_t* const expected = reinterpret_cast<uint8_t*>(expectedWords);

// Compares two reads that may write only their first `reach` bytes, then
// refills those bytes with a pattern that changes from call to call, so that
// a read that leaves alone bytes it should have written is seen. Plain loops
// over our own buffers: the sanitizers' checks of each memcmp and memset
// range would cost more than the reads they follow.
__attribute__((no_sanitize("address", "undefined"))) void CheckSame(int32_t actualCount,
                                                                    int32_t expectedCount,
                                                                    int32_t reach) {
  static uint64_t fill = 0;
  Check(actualCount == expectedCount);
  const int32_t words = (reach + kMargin + 7) / 8;
  uint64_t difference = 0;
  for (int32_t i = 0; i < words; ++i) difference |= actualWords[i] ^ expectedWords[i];
  Check(difference == 0);
  fill += 0x9E3779B97F4A7C15u;
  for (int32_t i = 0; i < words; ++i) {
    actualWords[i] = fill + static_cast<uint64_t>(i);
    expectedWords[i] = fill + static_cast<uint64_t>(i);
  }
}

void CompareTrack(PlainImage* plain, int32_t track, Parameters* parameters) {
  const int32_t idLength = static_cast<int32_t>(parameters->Next(4 * 70));
  const int32_t ids = reader->ReadSectorIds(track, actual, idLength);
  // Ask for sectors the track says it has, and for some it does not.
  const bool known = ids >= 4 && parameters->Next(4) != 0;
  const int32_t pick = known ? 4 * static_cast<int32_t>(parameters->Next(ids / 4)) : 0;
  const int32_t c = known                ? actual[pick]
                    : parameters->Next(2) ? track / 2  // the layout's, for the sweep
                                          : static_cast<int32_t>(parameters->Next(300)) - 10;
  const int32_t h = known ? actual[pick + 1] : static_cast<int32_t>(parameters->Next(3));
  const int32_t r = known ? actual[pick + 2] : static_cast<int32_t>(parameters->Next(20));
  const int32_t n = known ? actual[pick + 3] % 24 : static_cast<int32_t>(parameters->Next(8));
  CheckSame(ids, PlainReadSectorIds(*plain, track, expected, idLength), idLength);

  const int32_t maxLength = static_cast<int32_t>(parameters->Next(2048));
  CheckSame(reader->ReadSector(track, c, h, r, n, actual, maxLength),
            PlainReadSector(*plain, track, c, h, r, n, expected, maxLength), maxLength);

  plain->firstSector = static_cast<int32_t>(parameters->Next(4));
  plain->lastSector = static_cast<int32_t>(parameters->Next(20));
  reader->SetSectorRange(plain->firstSector, plain->lastSector);
  const int32_t length = static_cast<int32_t>(parameters->Next(kBufferBytes));
  const int32_t delivered = reader->ReadSectors(track, c, h, r, n % 4, actual, length);
  // A run writes its whole chunks and at most one chunk (1024 bytes here) more.
  const int32_t reach = delivered + 1024 < length ? delivered + 1024 : length;
  CheckSame(delivered, PlainReadSectors(*plain, track, c, h, r, n % 4, expected, length), reach);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Parameters parameters(data, size);
  const bool sweepAtOnce = parameters.Next(2) == 0;
  reader.emplace(sweepAtOnce ? 0 : D88File::kDefaultWalkBudget, 1 + parameters.Next(1000));
  Check(reader->Open(WriteInput(data, size)));
  int64_t starts[64];
  const int32_t count = PlainImageStarts(data, size, starts);
  Check(reader->GetImageCount() == count);
  // Now and then the last image first: one sweep answers whichever asks.
  const bool backwards = parameters.Next(4) == 0;
  for (int32_t step = 0; step < count; ++step) {
    const int32_t index = backwards ? count - 1 - step : step;
    Check(reader->SelectImage(index));
    PlainImage plain = PlainSelect(data, size, starts[index]);
    Check(std::strcmp(reader->GetDiskName(), plain.diskName) == 0);
    Check(reader->GetMediaType() == plain.mediaType);
    for (int32_t track = -1; track <= 164; ++track) CompareTrack(&plain, track, &parameters);
  }
  // With no current image, no track is readable, whatever the old table says.
  Check(!reader->SelectImage(count));
  Check(reader->GetMediaType() == -1 && reader->GetDiskName()[0] == '\0');
  for (int32_t track = 0; track < 164; ++track) {
    CheckSame(reader->ReadSectorIds(track, actual, 64), 0, 64);
  }
  Check(reader->Open(nullptr));
  return 0;
}
