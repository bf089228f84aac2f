// The bytes are a PNG for readPng. Only media::MediaError may come out; a picture that is
// read is consistent (checkPictureConsistent), has the IHDR chunk's size, 16 bits exactly when
// the IHDR says so, alpha when its colour type has it and not without a tRNS chunk otherwise,
// and comes back unchanged through writePng and readPng, at its own depth and, from 16 bits,
// at 8.
//
// Mutated chunks almost never keep a valid CRC, and libpng rejects those before it looks at
// their contents. So the target first rewrites every complete chunk's CRC, except in inputs
// whose length is a multiple of 16: those go in as they are, so that the CRC checks are
// fuzzed too.
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "media_error.h"
#include "picture.h"
#include "picture_round_trip.h"
#include "png_io.h"

namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

uint32_t BigEndian32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

void RepairCrcs(std::vector<uint8_t>& png) {
    std::size_t pos = sizeof kSignature;
    while (pos + 12 <= png.size()) {
        const uint32_t length = BigEndian32(&png[pos]);
        if (length > png.size() - pos - 12) return;
        const uLong crc = crc32(0, &png[pos + 4], static_cast<uInt>(length + 4));
        uint8_t* out = &png[pos + 8 + length];
        out[0] = static_cast<uint8_t>(crc >> 24);
        out[1] = static_cast<uint8_t>(crc >> 16);
        out[2] = static_cast<uint8_t>(crc >> 8);
        out[3] = static_cast<uint8_t>(crc);
        pos += 12 + length;
    }
}

bool Contains(const std::vector<uint8_t>& bytes, const char* text) {
    return memmem(bytes.data(), bytes.size(), text, std::strlen(text)) != nullptr;
}

// The round trip writes and rereads the whole picture; beyond this size it costs more than
// it finds.
constexpr std::size_t kRoundTripBytes = std::size_t{1} << 20;

void CheckPicture(const std::vector<uint8_t>& png, const media::Picture& picture,
                  fuzz::ScratchFile& out) {
    try {
        media::CheckPictureConsistent(picture);
    } catch (const std::exception& e) {
        fuzz::Fail(__FILE__, __LINE__, std::string("inconsistent picture: ") + e.what());
    }
    // libpng reads nothing before the signature and an IHDR chunk.
    FUZZ_REQUIRE(png.size() >= 33 && std::memcmp(png.data() + 12, "IHDR", 4) == 0,
                 "a picture without IHDR");
    FUZZ_REQUIRE(BigEndian32(&png[16]) == static_cast<uint32_t>(picture.width) &&
                     BigEndian32(&png[20]) == static_cast<uint32_t>(picture.height),
                 "size differs from IHDR");
    const uint8_t bitDepth = png[24];
    FUZZ_REQUIRE(picture.bitDepth == (bitDepth == 16 ? 16 : 8), "depth differs from IHDR");
    const uint8_t colourType = png[25];
    if (colourType == 4 || colourType == 6) FUZZ_REQUIRE(picture.hasAlpha, "alpha lost");
    if (colourType == 0 || colourType == 2 || colourType == 3)
        FUZZ_REQUIRE(picture.hasAlpha == false || Contains(png, "tRNS"), "alpha without tRNS");

    if (picture.pixels.size() + 2 * picture.pixels16.size() > kRoundTripBytes) return;
    fuzz::CheckRoundTrip(out, media::WritePng, media::ReadPng, picture, "writePng and readPng");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static fuzz::ScratchFile in;
    static fuzz::ScratchFile out;
    std::vector<uint8_t> png(data, data + size);
    if (size % 16 != 0 && size >= sizeof kSignature &&
        std::memcmp(data, kSignature, sizeof kSignature) == 0)
        RepairCrcs(png);
    try {
        const media::Picture picture = media::ReadPng(in.Load(png.data(), png.size()), "input");
        CheckPicture(png, picture, out);
    } catch (const media::MediaError&) {
    } catch (const std::exception& e) {
        fuzz::Fail(__FILE__, __LINE__, std::string("unexpected exception: ") + e.what());
    } catch (...) {
        fuzz::Fail(__FILE__, __LINE__, "unexpected non-standard exception");
    }
    return 0;
}
