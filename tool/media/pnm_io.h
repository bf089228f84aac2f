// Netpbm input and output: binary PPM (P6) and PAM (P7), 8 bits per sample.
#pragma once

#include <cstdio>
#include <string>

#include "rgb_image.h"

namespace media {

// Reads a P6 PPM with maxval 255 (whitespace-separated header tokens, '#' comments to the
// end of the line between them, exactly one whitespace byte after maxval) or a P7 PAM with
// MAXVAL 255 and TUPLTYPE RGB (DEPTH 3) or RGB_ALPHA (DEPTH 4), whatever the extension.
// Anything else, a malformed header or truncated pixel data is a MediaError naming the
// file. Bytes after the first picture are ignored.
RgbImage readPnm(const std::string& path);
// The same from a stream the caller owns, from its current position; displayName goes into
// messages.
RgbImage readPnm(std::FILE* file, const std::string& displayName);

// P6 with maxval 255; refuses an image with alpha, which PPM cannot hold.
void writePpm(const std::string& path, const RgbImage& image);

// P7 with TUPLTYPE RGB or RGB_ALPHA as image.hasAlpha says.
void writePam(const std::string& path, const RgbImage& image);

}  // namespace media
