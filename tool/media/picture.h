// A picture as the picture readers return it and the picture writers take it, and the size
// limits every picture is held to before any memory is reserved for it. Widths and heights
// come from untrusted headers; without a cap a 60-byte file could ask for terabytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "large_memory.h"

namespace media {

// A picture's bytes: huge-page backed and uninitialised until written, like frames.
using PixelBytes = std::vector<uint8_t, memory::LargeAllocator<uint8_t>>;

struct Picture {
    int width = 0;
    int height = 0;
    bool hasAlpha = false;
    // Rows top to bottom, no padding; per pixel R G B, plus A when hasAlpha
    // (straight, not premultiplied; 255 is opaque).
    PixelBytes pixels;

    int channels() const { return hasAlpha ? 4 : 3; }
    std::size_t stride() const { return static_cast<std::size_t>(width) * channels(); }
};

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

// Throws std::invalid_argument unless the picture has a positive size within the limits
// above and pixels holds exactly height * stride() bytes. Writers call it first: an
// inconsistent picture is the caller's bug, not a property of any file.
void checkPictureConsistent(const Picture& picture);

}  // namespace media
