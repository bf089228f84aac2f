#include "sort_pixels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "guarded_plane.h"
#include "owned_scratch.h"

namespace {

// The pixel indexes the order names, after sorting the given planar channel.
std::vector<uint32_t> SortedPositions(const std::vector<uint8_t>& values, int width,
                                      int height) {
    GuardedPlane src(width, height);
    src.SetChannel(values);
    OwnedScratch<uint8_t> scratch(values.size());
    SortPixels(scratch.Get(), src.View(), kEightBit);
    EXPECT_EQ(scratch.Channel(), values);
    EXPECT_TRUE(scratch.GuardsIntact());
    return scratch.Order();
}

}  // namespace

TEST(SortPixels, GreenOfBgr24OrdersByValueThenPosition) {
    // Rows (40, 10, 40), (10, 90, 40) as the green bytes of a 3x2 BGR24 frame.
    GuardedPlane frame(3, 2, 3, 1);
    frame.SetChannel({40, 10, 40, 10, 90, 40});
    OwnedScratch<uint8_t> scratch(6);
    SortPixels(scratch.Get(), frame.View(), kEightBit);
    EXPECT_EQ(scratch.Channel(), (std::vector<uint8_t>{40, 10, 40, 10, 90, 40}));
    EXPECT_EQ(scratch.Order(), (std::vector<uint32_t>{1, 3, 0, 2, 5, 4}));
    EXPECT_TRUE(frame.UntouchedOutsideChannel());
}

TEST(SortPixels, ComparesValuesUnsigned) {
    EXPECT_EQ(SortedPositions({255, 0, 128, 127}, 2, 2), (std::vector<uint32_t>{1, 3, 2, 0}));
}

TEST(SortPixels, TiesKeepRowMajorPosition) {
    EXPECT_EQ(SortedPositions({7, 3, 7, 3, 7, 3, 7, 3, 7}, 3, 3),
              (std::vector<uint32_t>{1, 3, 5, 7, 0, 2, 4, 6, 8}));
}

TEST(SortPixels, RandomChannelsGiveAStableOrderedPermutation) {
    std::mt19937 rng(1234);
    for (int round = 0; round < 50; ++round) {
        const int width = 1 + static_cast<int>(rng() % 40);
        const int height = 1 + static_cast<int>(rng() % 40);
        const unsigned spread = round % 2 ? 256 : 4;  // few values make long runs of ties
        std::vector<uint8_t> values(static_cast<size_t>(width * height));
        for (auto& v : values) v = static_cast<uint8_t>(rng() % spread * (256 / spread));
        const std::vector<uint32_t> order = SortedPositions(values, width, height);
        std::vector<int> seen(values.size(), 0);
        for (size_t i = 0; i < order.size(); ++i) {
            ASSERT_LT(order[i], values.size());
            ++seen[order[i]];
            if (i == 0) continue;
            const uint8_t before = values[order[i - 1]], here = values[order[i]];
            ASSERT_TRUE(before < here || (before == here && order[i - 1] < order[i]))
                << "entries " << i - 1 << " and " << i;
        }
        EXPECT_EQ(seen, std::vector<int>(values.size(), 1));
    }
}

TEST(SortPixels, FlatContentInLongRunsStaysStable) {
    // Runs of one value, from a pixel to a few rows long, start and end anywhere in the chunks
    // that the sort takes whole: every pixel must still come once, by value then position.
    std::mt19937 rng(77);
    for (int round = 0; round < 40; ++round) {
        const int width = 1 + static_cast<int>(rng() % 70);
        const int height = 1 + static_cast<int>(rng() % 30);
        std::vector<uint8_t> values(static_cast<size_t>(width * height));
        for (size_t i = 0; i < values.size();) {
            const size_t length = 1 + rng() % (round % 2 ? 40 : 200);
            const uint8_t value = static_cast<uint8_t>(rng() % 5 * 60);
            for (size_t k = 0; k < length && i < values.size(); ++k) values[i++] = value;
        }
        const std::vector<uint32_t> order = SortedPositions(values, width, height);
        std::vector<uint32_t> expected(values.size());
        for (size_t i = 0; i < expected.size(); ++i) expected[i] = static_cast<uint32_t>(i);
        std::stable_sort(expected.begin(), expected.end(),
                         [&](uint32_t a, uint32_t b) { return values[a] < values[b]; });
        ASSERT_EQ(order, expected) << width << "x" << height;
    }
}
