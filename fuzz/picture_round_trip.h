// What the picture reader targets share: a picture written with a format's writer and read
// back with its reader, through a scratch file, must come back unchanged.
#pragma once

#include <cstdio>
#include <string>

#include "formats.h"
#include "fuzz_support.h"
#include "picture.h"

namespace fuzz {

inline bool SamePicture(const media::Picture& a, const media::Picture& b) {
    return a.width == b.width && a.height == b.height && a.hasAlpha == b.hasAlpha &&
           a.pixels == b.pixels;
}

// Fails (as a crash) unless picture survives write and read; what names the pair.
inline void CheckRoundTrip(ScratchFile& out, media::PictureWriter write, media::PictureReader read,
                           const media::Picture& picture, const std::string& what) {
    static const uint8_t nothing = 0;
    try {
        std::FILE* file = out.Load(&nothing, 0);
        write(file, "round trip", picture);
        std::rewind(file);
        FUZZ_REQUIRE(SamePicture(read(file, "round trip"), picture), "changed by " + what);
    } catch (const std::exception& e) {
        Fail(__FILE__, __LINE__, what + " failed: " + e.what());
    }
}

}  // namespace fuzz
