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
#include "owned_scratch.h"

TEST(ReferenceSortPixels, ExtractsTheChannelAndOrdersEveryPixelOnceByUnsignedValue) {
    std::mt19937 rng(31);
    for (int round = 0; round < 40; ++round) {
        const int width = 1 + static_cast<int>(rng() % 30);
        const int height = 1 + static_cast<int>(rng() % 30);
        std::vector<uint8_t> values(static_cast<size_t>(width * height));
        for (auto& v : values) v = static_cast<uint8_t>(round % 2 ? rng() : rng() % 3 * 127);
        GuardedPlane src(width, height, 4, 2);  // the red bytes of a BGR32 frame
        src.SetChannel(values);
        OwnedScratch<uint8_t> scratch(values.size());
        reference::SortPixels(scratch.Get(), src.View(), kEightBit);
        ASSERT_EQ(scratch.Channel(), values);
        const std::vector<uint32_t> order = scratch.Order();
        std::vector<int> seen(values.size(), 0);
        for (size_t i = 0; i < order.size(); ++i) {
            ASSERT_LT(order[i], values.size());
            ++seen[order[i]];
            if (i > 0) {
                ASSERT_LE(values[order[i - 1]], values[order[i]]) << "entry " << i;
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

        const PlaneView<const uint8_t> plane{src.data(), width, 1, width, height};
        std::vector<uint8_t> dst(n, 9), plainDst(n, 9);
        OwnedScratch<uint8_t> fast(n), plain(n);
        SortPixels(fast.Get(), plane, kEightBit);
        Watershed(fast.Get(), width, height, c4);
        EnhanceChannel(PlaneView<uint8_t>{dst.data(), width, 1, width, height}, plane, fast.Get(),
                       kEightBit, factor, sh);
        reference::SortPixels(plain.Get(), plane, kEightBit);
        reference::Watershed(plain.Get(), width, height, c4);
        reference::EnhanceChannel(PlaneView<uint8_t>{plainDst.data(), width, 1, width, height},
                                  plane, plain.Get(), kEightBit, factor, sh);
        const std::vector<int32_t> label = fast.Labels(), plainLabel = plain.Labels();
        const std::vector<uint8_t> boundary = fast.Boundary(), plainBoundary = plain.Boundary();

        ASSERT_TRUE(SamePartition(label, plainLabel)) << width << "x" << height << " c4 " << c4;
        ASSERT_EQ(boundary, plainBoundary) << width << "x" << height << " c4 " << c4;
        ASSERT_EQ(dst, plainDst) << width << "x" << height << " factor " << factor << " sh " << sh;
    }
}
