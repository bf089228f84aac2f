// PNG input and output through libpng.
#pragma once

#include <cstdio>
#include <string>

#include "picture.h"

namespace media {

// Reads any PNG from the stream's current position as 8-bit RGB, or RGBA when the file has
// an alpha channel or a tRNS chunk. Grey becomes RGB, palettes are expanded, low bit depths
// are widened and 16-bit samples are scaled (rounded, not truncated) to 8 bits; interlaced
// files are supported. No gamma or colour-profile conversion is applied. The picture size
// is checked against picture.h's limits before anything is allocated. Throws MediaError
// naming the file if it is not a PNG, corrupt or truncated. The stream may be read past the
// end of the PNG.
Picture readPng(std::FILE* file, const std::string& name);

// zlib level 3: files a little larger than the default level 6, written several times
// faster, which matters when the tool writes every frame it is asked for.
constexpr int kPngCompressionLevel = 3;

// Writes 8-bit RGB or RGBA as picture.hasAlpha says, then flushes the stream. Throws
// MediaError naming the output on any write error (full disk, broken pipe, ...).
void writePng(std::FILE* file, const std::string& name, const Picture& picture);

}  // namespace media
