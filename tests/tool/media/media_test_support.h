// Shared by the media tests: a private temporary directory per test, whole-file helpers,
// and a check that an action fails with a MediaError saying particular things.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

#include "media_error.h"
#include "picture.h"

class MediaTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = ::testing::TempDir() + "basinlift_media_XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string Path(const std::string& name) const { return dir_ + "/" + name; }

private:
    std::string dir_;
};

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Fails unless action throws a MediaError whose message contains every one of fragments.
template <typename Action>
void ExpectMediaError(Action action, std::initializer_list<std::string> fragments) {
    try {
        action();
    } catch (const media::MediaError& error) {
        const std::string message = error.what();
        for (const std::string& fragment : fragments) {
            EXPECT_NE(message.find(fragment), std::string::npos)
                << "'" << fragment << "' not in: " << message;
        }
        return;
    }
    ADD_FAILURE() << "no MediaError thrown";
}

inline std::vector<uint8_t> PatternBytes(std::size_t count, unsigned seed);

// The same bytes as a picture holds them.
inline media::PixelBytes PatternPixels(std::size_t count, unsigned seed) {
    const std::vector<uint8_t> bytes = PatternBytes(count, seed);
    return media::PixelBytes(bytes.begin(), bytes.end());
}

inline std::vector<uint8_t> PatternBytes(std::size_t count, unsigned seed) {
    std::vector<uint8_t> bytes(count);
    for (std::size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<uint8_t>(i * 37 + seed * 101 + (i >> 8));
    return bytes;
}

// count samples of bitDepth bits (up to 16), both bytes varying, the largest value included.
inline std::vector<uint16_t> PatternSamples(std::size_t count, unsigned seed, int bitDepth = 16) {
    std::vector<uint16_t> samples(count);
    const unsigned limit = 1u << bitDepth;
    for (std::size_t i = 0; i < count; ++i)
        samples[i] = static_cast<uint16_t>((i * 40503u + seed * 7919u + (i >> 3) * 257u) % limit);
    if (count > 0) samples[count / 2] = static_cast<uint16_t>(limit - 1);
    return samples;
}

// A picture of either depth with patterned samples.
inline media::Picture PatternPicture(int width, int height, bool alpha, int bitDepth,
                                     unsigned seed) {
    media::Picture picture;
    picture.width = width;
    picture.height = height;
    picture.hasAlpha = alpha;
    picture.bitDepth = bitDepth;
    const std::size_t count = picture.Stride() * static_cast<std::size_t>(height);
    if (bitDepth == 8) {
        picture.pixels = PatternPixels(count, seed);
    } else {
        const std::vector<uint16_t> samples = PatternSamples(count, seed);
        picture.pixels16 = media::PixelWords(samples.begin(), samples.end());
    }
    return picture;
}

inline bool SamePicture(const media::Picture& a, const media::Picture& b) {
    return a.width == b.width && a.height == b.height && a.hasAlpha == b.hasAlpha &&
           a.bitDepth == b.bitDepth && a.pixels == b.pixels && a.pixels16 == b.pixels16;
}

// True when ffmpeg runs here; the tests that compare with it skip otherwise.
inline bool HaveFfmpeg() { return std::system("ffmpeg -version > /dev/null 2>&1") == 0; }
