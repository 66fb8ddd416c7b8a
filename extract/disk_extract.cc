#include "extract/disk_extract.h"

bool ExtractImage(D88File&, int32_t) {
  // Loading the disk and walking its directory come next; until then an
  // accepted image writes nothing.
  return true;
}
