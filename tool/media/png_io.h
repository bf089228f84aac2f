// PNG input through libpng, plain RGB and RGBA files through a faster path of our own
// (png_plain_reader.h), and PNG output through an encoder of our own, which is what makes
// writing a PNG cost little more than writing a PPM.
#pragma once

#include <cstdio>
#include <string>

#include "picture.h"

namespace media {

// Reads any PNG from the stream's current position as RGB, or RGBA when the file has an
// alpha channel or a tRNS chunk: 16-bit files as 16-bit pictures (samples in the machine's
// byte order), all others as 8-bit ones. Grey becomes RGB, palettes are expanded and low
// bit depths are widened to 8 bits; interlaced files are supported. No gamma or
// colour-profile conversion is applied. The picture size is checked against picture.h's
// limits before anything is allocated. Throws MediaError naming the file if it is not a PNG,
// corrupt or truncated. The stream may be read past the end of the PNG.
Picture ReadPng(std::FILE* file, const std::string& name);

// Writes RGB or RGBA as picture.hasAlpha says, at 16 bits when the picture has them and the
// depth asked for is the picture's, otherwise at 8, not interlaced; then flushes the stream.
// Each row is filtered with whichever of Sub, Up and Paeth leaves the smallest sum of
// absolute differences, and the rows are deflated by HuffmanDeflate. Throws MediaError
// naming the output on any write error (full disk, broken pipe, ...).
void WritePng(std::FILE* file, const std::string& name, const Picture& picture,
              WriteDepth depth = WriteDepth::Picture);

}  // namespace media
