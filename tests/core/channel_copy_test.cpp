#include "channel_copy.h"

#include <gtest/gtest.h>

#include <vector>

#include "guarded_plane.h"
#include "owned_scratch.h"

TEST(ExtractChannel, GathersYuy2UFromOffsetOneStepFour) {
    // One row Y0 U0 Y1 V0 Y2 U1 Y3 V1: the U samples sit at byte 1 of every 4-byte pair.
    const uint8_t row[] = {10, 20, 11, 30, 12, 21, 13, 31};
    OwnedScratch<uint8_t> out(2);
    ExtractChannel(out.Get(), PlaneView<const uint8_t>{row + 1, sizeof row, 4, 2, 1}, kEightBit);
    EXPECT_EQ(out.Channel(), (std::vector<uint8_t>{20, 21}));
    EXPECT_TRUE(out.GuardsIntact());
}

TEST(ExtractChannel, PacksRowsOfAPaddedStridedPlane) {
    GuardedPlane src(3, 2, 3, 1, 5);  // green of BGR24, rows padded
    src.SetChannel({1, 2, 3, 4, 5, 6});
    OwnedScratch<uint8_t> out(6);
    ExtractChannel(out.Get(), src.View(), kEightBit);
    EXPECT_EQ(out.Channel(), src.Channel());
    EXPECT_TRUE(out.GuardsIntact());
}

TEST(CopyChannel, CopiesBgr32AlphaOnly) {
    GuardedPlane src(4, 3, 4, 3);
    src.SetChannel({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11});
    GuardedPlane dst(4, 3, 4, 3);
    CopyChannel(dst.View(), src.View());
    EXPECT_EQ(dst.Channel(), src.Channel());
    EXPECT_TRUE(dst.UntouchedOutsideChannel());
}

TEST(CopyChannel, CopiesPlanesAndYuy2LumaBetweenDifferentPitches) {
    for (int step : {1, 2}) {
        GuardedPlane src(5, 2, step, 0, 1);
        src.SetChannel({9, 8, 7, 6, 5, 4, 3, 2, 1, 0});
        GuardedPlane dst(5, 2, step, 0, 7);
        CopyChannel(dst.View(), src.View());
        EXPECT_EQ(dst.Channel(), src.Channel());
        EXPECT_TRUE(dst.UntouchedOutsideChannel());
    }
}

TEST(ChannelCopies, EmptyExtentWritesNothing) {
    GuardedPlane src(3, 3, 2);
    GuardedPlane dst(3, 3, 2);
    OwnedScratch<uint8_t> packed(9);
    const std::vector<uint8_t> before = dst.Channel();
    for (const auto& [w, h] : {std::pair{0, 3}, {3, 0}, {-1, 3}, {3, -2}}) {
        PlaneView<const uint8_t> from = src.View();
        PlaneView<uint8_t> to = dst.View();
        from.width = to.width = w;
        from.height = to.height = h;
        ExtractChannel(packed.Get(), from, kEightBit);
        CopyChannel(to, from);
    }
    EXPECT_EQ(dst.Channel(), before);
    EXPECT_TRUE(dst.UntouchedOutsideChannel());
    EXPECT_EQ(packed.Channel(), std::vector<uint8_t>(9, 77));
}
