#include "sort_pixels.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "guarded_plane.h"

namespace {

// The pixel indexes orderBuf names, after sorting the given planar channel.
std::vector<int> SortedPositions(const std::vector<uint8_t>& values, int width, int height) {
    GuardedPlane src(width, height);
    src.SetChannel(values);
    std::vector<uint8_t> channel(values.size());
    std::vector<PixelRef> order(values.size());
    SortPixels(channel.data(), width, src.base(), src.pitch(), 1, width, height, order.data());
    EXPECT_EQ(channel, values);
    std::vector<int> positions;
    for (PixelRef ref : order) positions.push_back(static_cast<int>(ref - channel.data()));
    return positions;
}

}  // namespace

TEST(SortPixels, GreenOfBgr24OrdersByValueThenPosition) {
    // Rows (40, 10, 40), (10, 90, 40) as the green bytes of a 3x2 BGR24 frame.
    GuardedPlane frame(3, 2, 3, 1);
    frame.SetChannel({40, 10, 40, 10, 90, 40});
    uint8_t channel[6];
    PixelRef order[6];
    SortPixels(channel, 3, frame.base(), frame.pitch(), 3, 3, 2, order);
    EXPECT_EQ(std::vector<uint8_t>(channel, channel + 6),
              (std::vector<uint8_t>{40, 10, 40, 10, 90, 40}));
    const PixelRef expected[6] = {channel + 1, channel + 3, channel + 0,
                                  channel + 2, channel + 5, channel + 4};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(order[i], expected[i]) << "entry " << i;
    EXPECT_TRUE(frame.UntouchedOutsideChannel());
}

TEST(SortPixels, ComparesValuesUnsigned) {
    EXPECT_EQ(SortedPositions({255, 0, 128, 127}, 2, 2), (std::vector<int>{1, 3, 2, 0}));
}

TEST(SortPixels, TiesKeepRowMajorPosition) {
    EXPECT_EQ(SortedPositions({7, 3, 7, 3, 7, 3, 7, 3, 7}, 3, 3),
              (std::vector<int>{1, 3, 5, 7, 0, 2, 4, 6, 8}));
}

TEST(SortPixels, RandomChannelsGiveAStableOrderedPermutation) {
    std::mt19937 rng(1234);
    for (int round = 0; round < 50; ++round) {
        const int width = 1 + static_cast<int>(rng() % 40);
        const int height = 1 + static_cast<int>(rng() % 40);
        const unsigned spread = round % 2 ? 256 : 4;  // few values make long runs of ties
        std::vector<uint8_t> values(static_cast<size_t>(width * height));
        for (auto& v : values) v = static_cast<uint8_t>(rng() % spread * (256 / spread));
        const std::vector<int> order = SortedPositions(values, width, height);
        std::vector<int> seen(values.size(), 0);
        for (size_t i = 0; i < order.size(); ++i) {
            ++seen[order[i]];
            if (i == 0) continue;
            const uint8_t before = values[order[i - 1]], here = values[order[i]];
            ASSERT_TRUE(before < here || (before == here && order[i - 1] < order[i]))
                << "entries " << i - 1 << " and " << i;
        }
        EXPECT_EQ(seen, std::vector<int>(values.size(), 1));
    }
}
