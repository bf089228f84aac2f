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

}  // namespace
