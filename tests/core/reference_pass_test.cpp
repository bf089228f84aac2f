// The reference is what the core's tests trust, so its own ordering is checked here, and so
// is the claim the comparisons lean on: the order of equal values (std::sort's in the
// reference, position order in the core) renumbers regions but never changes a picture.
#include "reference_pass.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <vector>

#include "basinlift_core.h"
#include "guarded_plane.h"

TEST(ReferenceSortPixels, ExtractsTheChannelAndOrdersEveryPixelOnceByUnsignedValue) {
    std::mt19937 rng(31);
    for (int round = 0; round < 40; ++round) {
        const int width = 1 + static_cast<int>(rng() % 30);
        const int height = 1 + static_cast<int>(rng() % 30);
        std::vector<uint8_t> values(static_cast<size_t>(width * height));
        for (auto& v : values) v = static_cast<uint8_t>(round % 2 ? rng() : rng() % 3 * 127);
        GuardedPlane src(width, height, 4, 2);  // the red bytes of a BGR32 frame
        src.SetChannel(values);
        std::vector<uint8_t> channel(values.size());
        std::vector<PixelRef> order(values.size());
        reference::SortPixels(channel.data(), width, src.base(), src.pitch(), 4, width, height,
                              order.data());
        ASSERT_EQ(channel, values);
        std::vector<int> seen(values.size(), 0);
        for (size_t i = 0; i < order.size(); ++i) {
            ASSERT_GE(order[i], channel.data());
            ASSERT_LT(order[i], channel.data() + channel.size());
            ++seen[order[i] - channel.data()];
            if (i > 0) {
                ASSERT_LE(*order[i - 1], *order[i]) << "entry " << i;
            }
        }
        ASSERT_EQ(seen, std::vector<int>(values.size(), 1));
        EXPECT_TRUE(src.UntouchedOutsideChannel());
    }
}

namespace {

// Labels a and b name the same regions: a one-to-one renaming turns one into the other.
::testing::AssertionResult SamePartition(const std::vector<int32_t>& a,
                                         const std::vector<int32_t>& b) {
    std::map<int32_t, int32_t> forward, backward;
    for (size_t i = 0; i < a.size(); ++i) {
        const auto f = forward.emplace(a[i], b[i]).first;
        const auto r = backward.emplace(b[i], a[i]).first;
        if (f->second != b[i] || r->second != a[i])
            return ::testing::AssertionFailure() << "pixel " << i << " splits a region";
    }
    return ::testing::AssertionSuccess();
}

}  // namespace

TEST(ReferencePass, GivesTheCoresPictureWhateverTheOrderOfEqualValues) {
    std::mt19937 rng(77);
    for (int round = 0; round < 300; ++round) {
        const int width = 1 + static_cast<int>(rng() % 16);
        const int height = 1 + static_cast<int>(rng() % 16);
        const bool c4 = round % 2 == 0;
        const int factor = static_cast<int>(rng() % 11), sh = static_cast<int>(rng() % 21) - 10;
        const size_t n = static_cast<size_t>(width * height);
        std::vector<uint8_t> src(n);
        const unsigned levels = 2 + round % 4;  // few values: long runs of ties, wide plateaus
        for (auto& v : src) v = static_cast<uint8_t>(rng() % levels * 60);

        std::vector<uint8_t> channel(n), boundary(n), dst(n, 9);
        std::vector<PixelRef> order(n);
        std::vector<int32_t> label(n), dist(n);
        SortPixels(channel.data(), width, src.data(), width, 1, width, height, order.data());
        Watershed(order.data(), channel.data(), label.data(), dist.data(), boundary.data(),
                  height, width, c4);
        EnhanceChannel(dst.data(), width, src.data(), width, 1, width, height, channel.data(),
                       label.data(), boundary.data(), width, factor, sh);

        std::vector<uint8_t> plainChannel(n), plainBoundary(n), plainDst(n, 9);
        std::vector<PixelRef> plainOrder(n);
        std::vector<int32_t> plainLabel(n), plainDist(n);
        reference::SortPixels(plainChannel.data(), width, src.data(), width, 1, width, height,
                              plainOrder.data());
        reference::Watershed(plainOrder.data(), plainChannel.data(), plainLabel.data(),
                             plainDist.data(), plainBoundary.data(), height, width, c4);
        reference::EnhanceChannel(plainDst.data(), width, src.data(), width, 1, width, height,
                                  plainChannel.data(), plainLabel.data(), plainBoundary.data(),
                                  width, factor, sh);

        ASSERT_TRUE(SamePartition(label, plainLabel)) << width << "x" << height << " c4 " << c4;
        ASSERT_EQ(boundary, plainBoundary) << width << "x" << height << " c4 " << c4;
        ASSERT_EQ(dst, plainDst) << width << "x" << height << " factor " << factor << " sh " << sh;
        ASSERT_EQ(plainDist, std::vector<int32_t>(n, 0));
    }
}
