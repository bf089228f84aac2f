// Size limits applied to every picture before any memory is reserved for it. Widths and
// heights come from untrusted headers; without a cap a 60-byte file could ask for terabytes.
#pragma once

#include <cstddef>
#include <string>

namespace media {

// Each side at most 16384, and at most 8192 * 8192 pixels in all. That covers 8K UHD
// (7680x4320) and DCI 8K (8192x4320) with room to spare, while keeping the largest frame
// (8-bit RGBA) at 256 MiB.
constexpr int kMaxDimension = 16384;
constexpr long long kMaxPixels = 8192LL * 8192;

// Throws MediaError naming the file unless 1 <= width, height <= kMaxDimension and
// width * height <= kMaxPixels. Takes wide integers so that parsed values can be checked
// before they are narrowed to int.
void checkPictureSize(const std::string& name, long long width, long long height);

// a * b (* c), or MediaError naming the file if the product does not fit in size_t.
std::size_t checkedProduct(const std::string& name, std::size_t a, std::size_t b,
                           std::size_t c = 1);

}  // namespace media
