// A picture as the image readers return it and the image writers take it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace media {

struct RgbImage {
    int width = 0;
    int height = 0;
    bool hasAlpha = false;
    // Rows top to bottom, no padding; per pixel R G B, plus A when hasAlpha
    // (straight, not premultiplied; 255 is opaque).
    std::vector<uint8_t> pixels;

    int channels() const { return hasAlpha ? 4 : 3; }
    std::size_t stride() const { return static_cast<std::size_t>(width) * channels(); }
};

// Throws std::invalid_argument unless the image has a positive size within the limits of
// media_limits.h and pixels holds exactly height * stride() bytes. Writers call it first:
// an inconsistent image is the caller's bug, not a property of any file.
void checkImageConsistent(const RgbImage& image);

}  // namespace media
