// The bytes are a PPM or PAM file for readPnm. Only media::MediaError may come out; a picture
// that is read is consistent (checkPictureConsistent), its samples are one run of the input's
// bytes (16-bit ones big-endian there), its depth is what the maxval says, only a PAM can
// carry alpha, and it comes back unchanged through writePam (and writePpm, when it has no
// alpha) and readPnm, at its own depth and, from 16 bits, at 8.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "media_error.h"
#include "picture.h"
#include "picture_round_trip.h"
#include "pnm_io.h"

namespace {

template <class Body>
void OnlyMediaErrors(Body&& body) {
    try {
        body();
    } catch (const media::MediaError&) {
    } catch (const std::exception& e) {
        fuzz::Fail(__FILE__, __LINE__, std::string("unexpected exception: ") + e.what());
    } catch (...) {
        fuzz::Fail(__FILE__, __LINE__, "unexpected non-standard exception");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static fuzz::ScratchFile scratch;
    static fuzz::ScratchFile out;
    OnlyMediaErrors([&] {
        const media::Picture picture = media::ReadPnm(scratch.Load(data, size), "input");
        try {
            media::CheckPictureConsistent(picture);
        } catch (const std::exception& e) {
            fuzz::Fail(__FILE__, __LINE__, std::string("inconsistent picture: ") + e.what());
        }
        FUZZ_REQUIRE(size >= 2 && data[0] == 'P' && (data[1] == '6' || data[1] == '7'),
                     "read something that is neither P6 nor P7");
        if (picture.hasAlpha) FUZZ_REQUIRE(data[1] == '7', "alpha from a PPM");
        // The samples are not decoded: they are the bytes after the header, as they are (two
        // bytes each, the high one first, at 16 bits).
        std::vector<uint8_t> fileBytes(picture.pixels.begin(), picture.pixels.end());
        for (const uint16_t sample : picture.pixels16) {
            fileBytes.push_back(static_cast<uint8_t>(sample >> 8));
            fileBytes.push_back(static_cast<uint8_t>(sample & 0xFF));
        }
        FUZZ_REQUIRE(fileBytes.size() < size &&
                         memmem(data, size, fileBytes.data(), fileBytes.size()) != nullptr,
                     "samples that are not in the input");
        const std::string text(reinterpret_cast<const char*>(data), std::min<std::size_t>(size, 4096));
        const bool saysDeep = text.find("65535") != std::string::npos;
        FUZZ_REQUIRE(picture.bitDepth == 8 || saysDeep, "16 bits without maxval 65535");
        fuzz::CheckRoundTrip(out, media::WritePam, media::ReadPnm, picture,
                             "writePam and readPnm");
        if (!picture.hasAlpha)
            fuzz::CheckRoundTrip(out, media::WritePpm, media::ReadPnm, picture,
                                 "writePpm and readPnm");
    });
    return 0;
}
