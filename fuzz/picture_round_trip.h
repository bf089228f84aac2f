// What the picture reader targets share: a picture written with a format's writer and read
// back with its reader, through a scratch file, must come back unchanged at its own depth,
// and as toEightBits makes it when written at 8 bits.
#pragma once

#include <cstdio>
#include <string>

#include "formats.h"
#include "fuzz_support.h"
#include "picture.h"

namespace fuzz {

inline bool SamePicture(const media::Picture& a, const media::Picture& b) {
    return a.width == b.width && a.height == b.height && a.hasAlpha == b.hasAlpha &&
           a.bitDepth == b.bitDepth && a.pixels == b.pixels && a.pixels16 == b.pixels16;
}

// Fails (as a crash) unless picture, written at depth and read, is expected; what names the
// pair.
inline void CheckWrittenAndRead(ScratchFile& out, media::PictureWriter write,
                                media::PictureReader read, const media::Picture& picture,
                                media::WriteDepth depth, const media::Picture& expected,
                                const std::string& what) {
    static const uint8_t nothing = 0;
    try {
        std::FILE* file = out.Load(&nothing, 0);
        write(file, "round trip", picture, depth);
        std::rewind(file);
        FUZZ_REQUIRE(SamePicture(read(file, "round trip"), expected), "changed by " + what);
    } catch (const std::exception& e) {
        Fail(__FILE__, __LINE__, what + " failed: " + e.what());
    }
}

// The round trip at the picture's depth, and for a 16-bit picture also at 8 bits.
inline void CheckRoundTrip(ScratchFile& out, media::PictureWriter write, media::PictureReader read,
                           const media::Picture& picture, const std::string& what) {
    CheckWrittenAndRead(out, write, read, picture, media::WriteDepth::Picture, picture, what);
    if (picture.bitDepth == 16)
        CheckWrittenAndRead(out, write, read, picture, media::WriteDepth::EightBits,
                            media::ToEightBits(picture), what + " at 8 bits");
}

}  // namespace fuzz
