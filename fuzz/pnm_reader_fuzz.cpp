// The bytes are a PPM or PAM file for readPnm. Only media::MediaError may come out; a picture
// that is read is consistent (checkImageConsistent), its pixels are one run of the input's
// bytes, only a PAM can carry alpha, and it comes back unchanged through writePam (and
// writePpm, when it has no alpha) and readPnm.
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <exception>
#include <filesystem>
#include <string>

#include "fuzz_support.h"
#include "media_error.h"
#include "pnm_io.h"
#include "rgb_image.h"

namespace {

// Where the round trips write; the writers only take paths.
class ScratchDirectory {
public:
    ScratchDirectory()
        : path_(std::filesystem::temp_directory_path() /
                ("basinlift-pnm-fuzz-" + std::to_string(getpid()))) {
        std::filesystem::create_directories(path_);
    }
    ~ScratchDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    std::string File(const char* name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

bool SameImage(const media::RgbImage& a, const media::RgbImage& b) {
    return a.width == b.width && a.height == b.height && a.hasAlpha == b.hasAlpha &&
           a.pixels == b.pixels;
}

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

void CheckRoundTrip(const ScratchDirectory& dir, const media::RgbImage& image) {
    try {
        const std::string pam = dir.File("out.pam");
        media::writePam(pam, image);
        FUZZ_REQUIRE(SameImage(media::readPnm(pam), image), "changed by writePam and readPnm");
        if (!image.hasAlpha) {
            const std::string ppm = dir.File("out.ppm");
            media::writePpm(ppm, image);
            FUZZ_REQUIRE(SameImage(media::readPnm(ppm), image), "changed by writePpm and readPnm");
        }
    } catch (const std::exception& e) {
        fuzz::Fail(__FILE__, __LINE__, std::string("round trip failed: ") + e.what());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static fuzz::ScratchFile scratch;
    static ScratchDirectory directory;
    OnlyMediaErrors([&] {
        const media::RgbImage image = media::readPnm(scratch.Load(data, size), "input");
        try {
            media::checkImageConsistent(image);
        } catch (const std::exception& e) {
            fuzz::Fail(__FILE__, __LINE__, std::string("inconsistent picture: ") + e.what());
        }
        FUZZ_REQUIRE(size >= 2 && data[0] == 'P' && (data[1] == '6' || data[1] == '7'),
                     "read something that is neither P6 nor P7");
        if (image.hasAlpha) FUZZ_REQUIRE(data[1] == '7', "alpha from a PPM");
        // The pixels are not decoded: they are the bytes after the header, as they are.
        FUZZ_REQUIRE(image.pixels.size() < size &&
                         memmem(data, size, image.pixels.data(), image.pixels.size()) != nullptr,
                     "pixels that are not in the input");
        CheckRoundTrip(directory, image);
    });
    return 0;
}
