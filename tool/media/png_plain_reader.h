// The PNG reader's fast path for the files most programs write, this tool included: RGB or
// RGBA, 8 or 16 bits, not interlaced. Their pixel data is inflated by ISA-L, several times
// faster than zlib under libpng, and unfiltered here. Anything else, and any fault, is left
// to libpng, which then decodes or refuses the file exactly as it would have without this.
#pragma once

#include <cstdio>

#include "picture.h"

namespace media {

// Reads a PNG's chunks from the stream into memory and decodes the file when it is plain:
// colour type 2 (RGB) or 6 (RGBA) at 8 or 16 bits, compression, filter and interlace methods
// 0, a size within picture.h's limits; no tRNS chunk and no critical chunk but one IHDR, at
// most one PLTE before the pixel data (which libpng ignores in such files, as this does),
// IDAT and a final empty IEND; chunk types of letters only; every chunk's CRC right; the IDAT
// chunks in one run, whose data is one zlib stream (checksum verified) that inflates to
// exactly the filtered rows and ends there; every row's filter type 0 to 4.
//
// bytesRead holds the bytes already taken from the stream: on entry, the signature (which the
// caller checked) and the first 16 bytes of the IHDR chunk. On success the picture is what
// libpng gives for the file as ReadPng asks for it (16-bit samples in the machine's byte
// order) and bytesRead is emptied. Otherwise the picture is untouched, and bytesRead holds
// every byte taken from the stream, for a decoder to read before the rest of the stream.
// Reading stops after IEND or at the first sign that the file is not plain; lengths are
// checked against limits before anything is read or reserved for them. Throws only
// std::bad_alloc.
bool ReadPlainPng(std::FILE* file, PixelBytes& bytesRead, Picture& picture);

}  // namespace media
