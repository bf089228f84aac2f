// PNG input and output through libpng.
#pragma once

#include <cstdio>
#include <string>

#include "rgb_image.h"

namespace media {

// Reads any PNG as 8-bit RGB, or RGBA when the file has an alpha channel or a tRNS
// chunk. Grey becomes RGB, palettes are expanded, low bit depths are widened and 16-bit
// samples are scaled (rounded, not truncated) to 8 bits; interlaced files are supported.
// No gamma or colour-profile conversion is applied. The picture size is checked against
// media_limits.h before anything is allocated. Throws MediaError naming the file if it is
// missing, not a PNG, corrupt or truncated.
RgbImage readPng(const std::string& path);
// The same from a stream the caller owns, from its current position; displayName goes into
// messages. The stream may be read past the end of the PNG.
RgbImage readPng(std::FILE* file, const std::string& displayName);

// zlib level 3: files a little larger than the default level 6, written several times
// faster, which matters when the tool writes every frame it is asked for.
constexpr int kPngCompressionLevel = 3;

// Writes 8-bit RGB or RGBA as image.hasAlpha says. Throws MediaError naming the output on
// any write error (full disk, broken pipe, ...).
void writePng(const std::string& path, const RgbImage& image);
// The same into a stream the caller owns and closes; it is flushed, not closed.
void writePng(std::FILE* file, const std::string& displayName, const RgbImage& image);

}  // namespace media
