#include "png_unfilter.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <vector>

using namespace media;

namespace {

// The fast unfiltering against the byte-by-byte statement of the filters, for every filter,
// pixel size and row length up to a dozen pixels and one long row, on random bytes and on
// bytes a few apart (where Paeth's distances tie). The rows lie in buffers of exactly their
// size (a sanitizer build catches reads past them), and the output is followed by guard
// bytes that must stay as they were.
TEST(PngUnfilterTest, MatchesThePlainFiltersAndStaysWithinTheRow) {
    std::mt19937 random(7);
    constexpr std::size_t kGuard = 16;
    for (const bool narrow : {false, true}) {
        std::uniform_int_distribution<int> byte(narrow ? 126 : 0, narrow ? 130 : 255);
        for (std::size_t bpp = 1; bpp <= 8; ++bpp) {
            for (std::size_t pixels = 1; pixels <= 13; ++pixels) {
                const std::size_t n = bpp * (pixels == 13 ? 701 : pixels);
                std::vector<uint8_t> filtered(n);
                std::vector<uint8_t> above(n);
                for (uint8_t& value : filtered) value = static_cast<uint8_t>(byte(random));
                for (uint8_t& value : above) value = static_cast<uint8_t>(byte(random));
                for (uint8_t type = kPngFilterNone; type <= kPngFilterPaeth; ++type) {
                    SCOPED_TRACE("filter " + std::to_string(type) + ", bpp " + std::to_string(bpp) +
                                 ", " + std::to_string(n) + " bytes" + (narrow ? ", narrow" : ""));
                    std::vector<uint8_t> expected(n);
                    UnfilterRowPlain(type, filtered.data(), above.data(), n, bpp, expected.data());
                    std::vector<uint8_t> out(n + kGuard, 0xA5);
                    UnfilterRow(type, filtered.data(), above.data(), n, bpp, out.data());
                    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + n), expected);
                    EXPECT_EQ(std::vector<uint8_t>(out.begin() + n, out.end()),
                              std::vector<uint8_t>(kGuard, 0xA5));
                }
            }
        }
    }
}

// Paeth's prediction for every left (a), above (b) and above-left (c) byte: one byte per
// pixel, the row above holding every pair (c, b) side by side, unfiltered 256 times with the
// filtered bytes chosen so that the byte left of each pair takes every value.
TEST(PngUnfilterTest, PaethMatchesForEveryLeftAboveAndAboveLeft) {
    const auto paeth = [](int a, int b, int c) {
        const int p = a + b - c;
        const int pa = std::abs(p - a);
        const int pb = std::abs(p - b);
        const int pc = std::abs(p - c);
        return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
    };
    std::vector<uint8_t> above;
    for (int c = 0; c < 256; ++c) {
        for (int b = 0; b < 256; ++b) {
            above.push_back(static_cast<uint8_t>(c));
            above.push_back(static_cast<uint8_t>(b));
        }
    }
    const std::size_t n = above.size();
    std::vector<uint8_t> wanted(n);
    std::vector<uint8_t> filtered(n);
    std::vector<uint8_t> out(n);
    int wrongRounds = 0;
    for (int round = 0; round < 256; ++round) {
        for (std::size_t i = 0; i < n; ++i) {
            wanted[i] = static_cast<uint8_t>(round + i / 2);
            const int a = i > 0 ? wanted[i - 1] : 0;
            const int c = i > 0 ? above[i - 1] : 0;
            filtered[i] = static_cast<uint8_t>(wanted[i] - paeth(a, above[i], c));
        }
        UnfilterRow(kPngFilterPaeth, filtered.data(), above.data(), n, 1, out.data());
        if (out != wanted) ++wrongRounds;
    }
    EXPECT_EQ(wrongRounds, 0);
}

// The plain statement itself, on one row whose every result is worked out by hand: left a,
// above b, above left c, for 2 bytes per pixel.
TEST(PngUnfilterTest, PlainFiltersFollowTheirDefinitions) {
    const uint8_t filtered[6] = {10, 250, 1, 2, 200, 0};
    const uint8_t above[6] = {4, 8, 100, 6, 5, 255};
    const auto unfilter = [&](uint8_t type) {
        std::vector<uint8_t> out(6);
        UnfilterRowPlain(type, filtered, above, 6, 2, out.data());
        return out;
    };
    EXPECT_EQ(unfilter(kPngFilterNone), (std::vector<uint8_t>{10, 250, 1, 2, 200, 0}));
    // Sub: x + a, modulo 256.
    EXPECT_EQ(unfilter(kPngFilterSub), (std::vector<uint8_t>{10, 250, 11, 252, 211, 252}));
    EXPECT_EQ(unfilter(kPngFilterUp), (std::vector<uint8_t>{14, 2, 101, 8, 205, 255}));
    // Average: x + floor((a + b) / 2): 10 + 4 / 2 = 12, 250 + 8 / 2 = 254,
    // 1 + (12 + 100) / 2 = 57, 2 + (254 + 6) / 2 = 132, 200 + (57 + 5) / 2 = 231,
    // 0 + (132 + 255) / 2 = 193.
    EXPECT_EQ(unfilter(kPngFilterAverage), (std::vector<uint8_t>{12, 254, 57, 132, 231, 193}));
    // Paeth, first pixel: a = c = 0, so b. Then (a, b, c) = (14, 100, 4): p = 110, nearest b;
    // (2, 6, 8): p = 0, nearest a (distance 2 against b's 6 and c's 8); (101, 5, 100):
    // p = 6, nearest b; (4, 255, 6): p = 253, nearest b.
    EXPECT_EQ(unfilter(kPngFilterPaeth), (std::vector<uint8_t>{14, 2, 101, 4, 205, 255}));
}

}  // namespace
