// Netpbm input and output: binary PPM (P6) and PAM (P7), 8 bits per sample.
#pragma once

#include <cstdio>
#include <string>

#include "picture.h"

namespace media {

// Reads a P6 PPM with maxval 255 (whitespace-separated header tokens, '#' comments to the
// end of the line between them, exactly one whitespace byte after maxval) or a P7 PAM with
// MAXVAL 255 and TUPLTYPE RGB (DEPTH 3) or RGB_ALPHA (DEPTH 4), whatever the extension,
// from the stream's current position. Anything else, a malformed header or truncated pixel
// data is a MediaError naming the file. Bytes after the first picture are ignored.
Picture readPnm(std::FILE* file, const std::string& name);

// P6 with maxval 255; refuses a picture with alpha, which PPM cannot hold. Flushes.
void writePpm(std::FILE* file, const std::string& name, const Picture& picture);

// P7 with TUPLTYPE RGB or RGB_ALPHA as picture.hasAlpha says. Flushes.
void writePam(std::FILE* file, const std::string& name, const Picture& picture);

}  // namespace media
