// Loading a 2HD disk into memory and extracting the files of its directory.
#pragma once

#include <cstdint>

#include "image/d88_file.h"

// Loads the current image of `d88` (image `imageIndex` of the file) and
// writes its files into the current directory. False when an entry could not
// be written; the message for it is printed and the other entries go on.
bool ExtractImage(D88File& d88, int32_t imageIndex);
