#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "planes.h"

using namespace media;

namespace {

// 4x2 pixels, every row padded so that pitches differ from widths.
TEST(Yuy2Test, PacksAndUnpacksWithPitches) {
    const std::vector<uint8_t> y{1, 2, 3, 4, 0, 0, 5, 6, 7, 8, 0, 0};  // pitch 6
    const std::vector<uint8_t> u{10, 11, 0, 12, 13, 0};                // pitch 3
    const std::vector<uint8_t> v{20, 21, 0, 22, 23, 0};
    std::vector<uint8_t> packed(2 * 10, 0xEE);  // pitch 10
    PackYuy2(4, 2, {y.data(), 6}, {u.data(), 3}, {v.data(), 3}, {packed.data(), 10});
    const std::vector<uint8_t> expected{1, 10, 2, 20, 3, 11, 4, 21, 0xEE, 0xEE,
                                        5, 12, 6, 22, 7, 13, 8, 23, 0xEE, 0xEE};
    EXPECT_EQ(packed, expected);

    std::vector<uint8_t> y2(y.size(), 0), u2(u.size(), 0), v2(v.size(), 0);
    UnpackYuy2(4, 2, {packed.data(), 10}, {y2.data(), 6}, {u2.data(), 3}, {v2.data(), 3});
    EXPECT_EQ(y2, y);
    EXPECT_EQ(u2, u);
    EXPECT_EQ(v2, v);
}

TEST(Yuy2Test, RefusesOddWidthsAndShortPitches) {
    std::vector<uint8_t> buffer(64);
    const PlaneSource source{buffer.data(), 8};
    const PlaneDest dest{buffer.data(), 8};
    EXPECT_THROW(PackYuy2(3, 1, source, source, source, dest), std::invalid_argument);
    EXPECT_THROW(PackYuy2(6, 1, source, source, source, dest), std::invalid_argument);  // 12 > 8
}

}  // namespace
