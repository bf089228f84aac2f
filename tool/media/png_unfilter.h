// Undoing PNG's row filters, for the reader's own decoding of plain files.
#pragma once

#include <cstddef>
#include <cstdint>

#include "png_filters.h"

namespace media {

// Rebuilds a row of n bytes into out from its filtered bytes, given the row above as rebuilt
// (all zero for the first row). Preconditions: filterType is 0 to 4, bpp (bytes per pixel) is
// 1 to 8, n is a multiple of bpp, and out overlaps neither filtered nor above. Only the n
// bytes of each of the three are read or written.
void UnfilterRow(uint8_t filterType, const uint8_t* filtered, const uint8_t* above, std::size_t n,
                 std::size_t bpp, uint8_t* out);

// The same, byte by byte as the PNG standard states the filters: what UnfilterRow is tested
// against, and what it does where SSE2 is missing.
void UnfilterRowPlain(uint8_t filterType, const uint8_t* filtered, const uint8_t* above,
                      std::size_t n, std::size_t bpp, uint8_t* out);

}  // namespace media
