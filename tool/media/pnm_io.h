// Netpbm input and output: binary PPM (P6) and PAM (P7), 8 or 16 bits per sample.
#pragma once

#include <cstdio>
#include <string>

#include "picture.h"

namespace media {

// Reads a P6 PPM (whitespace-separated header tokens, '#' comments to the end of the line
// between them, exactly one whitespace byte after maxval) or a P7 PAM with TUPLTYPE RGB
// (DEPTH 3) or RGB_ALPHA (DEPTH 4), whatever the extension, from the stream's current
// position. Maxval 255 gives an 8-bit picture, 65535 a 16-bit one (the file's big-endian
// samples in the machine's order); other maxvals, which would need rescaling, are refused.
// Anything else, a malformed header or truncated pixel data is a MediaError naming the file.
// Bytes after the first picture are ignored.
Picture ReadPnm(std::FILE* file, const std::string& name);

// P6 with maxval 255 or 65535 as the depth is; refuses a picture with alpha, which PPM
// cannot hold. Flushes.
void WritePpm(std::FILE* file, const std::string& name, const Picture& picture,
              WriteDepth depth = WriteDepth::Picture);

// P7 with TUPLTYPE RGB or RGB_ALPHA as picture.hasAlpha says, MAXVAL 255 or 65535 as the
// depth is. Flushes.
void WritePam(std::FILE* file, const std::string& name, const Picture& picture,
              WriteDepth depth = WriteDepth::Picture);

}  // namespace media
