#include "channel_copy.h"

#include <gtest/gtest.h>

#include <vector>

#include "guarded_plane.h"

TEST(ExtractChannel, GathersYuy2UFromOffsetOneStepFour) {
    // One row Y0 U0 Y1 V0 Y2 U1 Y3 V1: the U samples sit at byte 1 of every 4-byte pair.
    const uint8_t row[] = {10, 20, 11, 30, 12, 21, 13, 31};
    GuardedPlane out(2, 1);
    ExtractChannel(out.base(), out.pitch(), row + 1, sizeof row, 4, 2, 1);
    EXPECT_EQ(out.Channel(), (std::vector<uint8_t>{20, 21}));
    EXPECT_TRUE(out.UntouchedOutsideChannel());
}

TEST(ExtractChannel, LeavesRowTailsOfAWiderDestinationAlone) {
    GuardedPlane src(3, 2, 3, 1);  // green of BGR24
    src.SetChannel({1, 2, 3, 4, 5, 6});
    GuardedPlane out(3, 2, 1, 0, 5);
    ExtractChannel(out.base(), out.pitch(), src.base(), src.pitch(), src.step(), 3, 2);
    EXPECT_EQ(out.Channel(), src.Channel());
    EXPECT_TRUE(out.UntouchedOutsideChannel());
}

TEST(CopyChannel, CopiesBgr32AlphaOnly) {
    GuardedPlane src(4, 3, 4, 3);
    src.SetChannel({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11});
    GuardedPlane dst(4, 3, 4, 3);
    CopyChannel(dst.base(), dst.pitch(), src.base(), src.pitch(), 4, 4, 3);
    EXPECT_EQ(dst.Channel(), src.Channel());
    EXPECT_TRUE(dst.UntouchedOutsideChannel());
}

TEST(CopyChannel, CopiesYuy2LumaBetweenDifferentPitches) {
    GuardedPlane src(5, 2, 2, 0, 1);
    src.SetChannel({9, 8, 7, 6, 5, 4, 3, 2, 1, 0});
    GuardedPlane dst(5, 2, 2, 0, 7);
    CopyChannel(dst.base(), dst.pitch(), src.base(), src.pitch(), 2, 5, 2);
    EXPECT_EQ(dst.Channel(), src.Channel());
    EXPECT_TRUE(dst.UntouchedOutsideChannel());
}

TEST(ChannelCopies, EmptyExtentWritesNothing) {
    GuardedPlane src(3, 3, 2);
    GuardedPlane dst(3, 3, 2);
    const std::vector<uint8_t> before = dst.Channel();
    for (const auto& [w, h] : {std::pair{0, 3}, {3, 0}, {-1, 3}, {3, -2}}) {
        ExtractChannel(dst.base(), dst.pitch(), src.base(), src.pitch(), 2, w, h);
        CopyChannel(dst.base(), dst.pitch(), src.base(), src.pitch(), 2, w, h);
    }
    EXPECT_EQ(dst.Channel(), before);
    EXPECT_TRUE(dst.UntouchedOutsideChannel());
}
