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

// A picture's samples: huge-page backed and uninitialised until written, like frames.
using PixelBytes = std::vector<uint8_t, memory::LargeAllocator<uint8_t>>;
using PixelWords = std::vector<uint16_t, memory::LargeAllocator<uint16_t>>;

struct Picture {
    int width = 0;
    int height = 0;
    bool hasAlpha = false;
    // 8: the samples are in pixels (0 to 255); 16: in pixels16, as the machine's own
    // uint16_t (0 to 65535). The other vector stays empty.
    int bitDepth = 8;
    // Rows top to bottom, no padding; per pixel R G B, plus A when hasAlpha
    // (straight, not premultiplied; the largest value is opaque).
    PixelBytes pixels;
    PixelWords pixels16;

    int Channels() const { return hasAlpha ? 4 : 3; }
    // Samples per row, which is also the step from one row to the next in pixels or pixels16.
    std::size_t Stride() const { return static_cast<std::size_t>(width) * Channels(); }
};

// The depth a writer writes a picture at: its own, or 8 bits whatever it has (16-bit samples
// scaled as eightBitSample does).
enum class WriteDepth { Picture, EightBits };

// A 16-bit sample scaled to 8 bits, rounded to nearest: value * 255 / 65535 = value / 257.
// 257 is odd, so there are no ties to break.
constexpr uint8_t EightBitSample(uint16_t value) {
    return static_cast<uint8_t>((value + 128u) / 257u);
}

// The picture at 8 bits: unchanged when it is, every sample scaled when it has 16.
Picture ToEightBits(Picture picture);

// Each side at most 16384, and at most 8192 * 8192 pixels in all. That covers 8K UHD
// (7680x4320) and DCI 8K (8192x4320) with room to spare, while keeping the largest picture
// (16-bit RGBA) at 512 MiB.
constexpr int kMaxDimension = 16384;
constexpr long long kMaxPixels = 8192LL * 8192;

// Throws MediaError naming the file unless 1 <= width, height <= kMaxDimension and
// width * height <= kMaxPixels. Takes wide integers so that parsed values can be checked
// before they are narrowed to int.
void CheckPictureSize(const std::string& name, long long width, long long height);

// a * b (* c), or MediaError naming the file if the product does not fit in size_t.
std::size_t CheckedProduct(const std::string& name, std::size_t a, std::size_t b,
                           std::size_t c = 1);

// Throws std::invalid_argument unless the picture has a positive size within the limits
// above, a bit depth of 8 or 16, and exactly height * stride() samples in the vector of its
// depth (the other one empty). Writers call it first: an inconsistent picture is the
// caller's bug, not a property of any file.
void CheckPictureConsistent(const Picture& picture);

}  // namespace media
