#include "enhance_channel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "exact_division.h"
#include "guarded_plane.h"
#include "reference_pass.h"

namespace {

// The source channel, its packed copy and the watershed's outputs for one small plane.
struct Scene {
    int width, height;
    std::vector<uint8_t> values;
    std::vector<int32_t> labels;
    std::vector<uint8_t> boundary;

    // The scratch as the watershed leaves it; the kernels under test only read it.
    ChannelScratch<uint8_t> Scratch() const {
        return {const_cast<uint8_t*>(values.data()), nullptr,
                const_cast<int32_t*>(labels.data()), const_cast<uint8_t*>(boundary.data()),
                nullptr, nullptr};
    }
    PlaneView<uint8_t> Packed(std::vector<uint8_t>& out) const {
        return {out.data(), width, 1, width, height};
    }
};

std::vector<uint8_t> PlainEnhance(const Scene& s, int factor, int sh, uint8_t fill);

// Runs EnhanceChannel on the red bytes of BGR24-like planes with different pitches, checks
// that nothing else was written and returns the destination channel. The reference must give
// the same, so every drawn example below checks it too.
std::vector<uint8_t> Enhance(const Scene& s, int factor, int sh, uint8_t fill = 0) {
    GuardedPlane src(s.width, s.height, 3, 2);
    src.SetChannel(s.values);
    GuardedPlane dst(s.width, s.height, 3, 2, 5);
    dst.SetChannel(std::vector<uint8_t>(s.values.size(), fill));
    EnhanceChannel(dst.View(), src.View(), s.Scratch(), kEightBit, factor, sh);
    EXPECT_TRUE(dst.UntouchedOutsideChannel());
    EXPECT_TRUE(src.UntouchedOutsideChannel());
    EXPECT_EQ(dst.Channel(), PlainEnhance(s, factor, sh, fill)) << "the reference differs";
    return dst.Channel();
}

uint8_t Amplified(int value, int sh) {
    const Scene s{1, 1, {static_cast<uint8_t>(value)}, {1}, {0}};
    return Enhance(s, 0, sh)[0];
}

}  // namespace

TEST(SmoothSegments, WeighsOnlyNeighboursOfTheSameLabel) {
    const Scene s{3, 3, {10, 20, 30, 40, 50, 60, 70, 80, 90}, {1, 1, 2, 1, 1, 2, 1, 1, 2},
                  std::vector<uint8_t>(9, 255)};
    // Centre: (8*50 + 10 + 2*20 + 2*40 + 70 + 2*80) / 16 = 760 / 16.
    EXPECT_EQ(Enhance(s, 4, 0), (std::vector<uint8_t>{19, 24, 36, 42, 47, 60, 65, 70, 84}));
}

TEST(SmoothSegments, MissingPositionsLowerTheDivisor) {
    const Scene s{2, 2, {100, 50, 50, 200}, {1, 1, 1, 1}, std::vector<uint8_t>(4, 255)};
    // Top left: (2*100 + 2*50 + 2*50 + 200) / 7 = 600 / 7.
    EXPECT_EQ(Enhance(s, 10, 0), (std::vector<uint8_t>{85, 107, 107, 100}));
}

TEST(SmoothSegments, PixelAloneInItsRegionKeepsItsValue) {
    const Scene s{3, 3, {1, 255, 3, 4, 99, 6, 7, 8, 9}, {2, 2, 2, 2, 1, 2, 2, 2, 2},
                  std::vector<uint8_t>(9, 255)};
    for (int factor = 1; factor <= 10; ++factor) EXPECT_EQ(Enhance(s, factor, 0)[4], 99);
}

TEST(SmoothSegments, ConstantRegionsStayConstant) {
    Scene s{7, 5, {}, {}, std::vector<uint8_t>(35, 255)};
    for (int i = 0; i < 35; ++i) {
        s.labels.push_back(i % 7 < 3 ? 4 : 9);
        s.values.push_back(i % 7 < 3 ? 30 : 222);
    }
    for (int factor = 1; factor <= 10; ++factor) EXPECT_EQ(Enhance(s, factor, 0), s.values);
}

TEST(EnhanceChannel, BoundaryFlagsOnlyMatterWhenAmplifying) {
    Scene s{3, 3, {10, 20, 30, 40, 50, 60, 70, 80, 90}, {1, 1, 2, 1, 1, 2, 1, 1, 2},
            std::vector<uint8_t>(9, 255)};
    s.boundary[4] = 0;
    EXPECT_EQ(Enhance(s, 4, 0), (std::vector<uint8_t>{19, 24, 36, 42, 47, 60, 65, 70, 84}));
    // With sh the boundary pixel takes its scaled source value, not the smoothed one.
    EXPECT_EQ(Enhance(s, 4, 10), (std::vector<uint8_t>{19, 24, 36, 42, 55, 60, 65, 70, 84}));
}

TEST(EnhanceChannel, FactorZeroCopiesInteriorAndScalesBoundary) {
    const Scene s{4, 2, {10, 200, 30, 255, 50, 0, 70, 101}, {1, 1, 2, 2, 1, 1, 2, 2},
                  {255, 0, 255, 0, 0, 255, 255, 0}};
    EXPECT_EQ(Enhance(s, 0, -10, 123), (std::vector<uint8_t>{10, 180, 30, 229, 45, 0, 70, 90}));
}

TEST(EnhanceChannel, FactorZeroAndNoShWritesNothing) {
    const Scene s{3, 2, {1, 2, 3, 4, 5, 6}, {1, 2, 3, 4, 5, 6}, std::vector<uint8_t>(6, 0)};
    EXPECT_EQ(Enhance(s, 0, 0, 123), std::vector<uint8_t>(6, 123));
}

TEST(AmplifyBoundaries, ScalesTruncatesAndSaturates) {
    EXPECT_EQ(Amplified(200, 10), 220);
    EXPECT_EQ(Amplified(231, 10), 254);
    EXPECT_EQ(Amplified(232, 10), 255);
    EXPECT_EQ(Amplified(255, 10), 255);
    EXPECT_EQ(Amplified(201, -10), 180);
    EXPECT_EQ(Amplified(255, -10), 229);
    EXPECT_EQ(Amplified(99, 1), 99);
    EXPECT_EQ(Amplified(100, 1), 101);
    EXPECT_EQ(Amplified(1, -3), 0);
    EXPECT_EQ(Amplified(0, 10), 0);
}

TEST(ExactDivision, MatchesIntegerDivisionForEverySumAndWeight) {
    for (int32_t weight = kMinSmoothingWeight; weight <= kMaxSmoothingWeight; ++weight)
        for (int32_t sum = 0; sum <= 255 * weight; ++sum)
            ASSERT_EQ(DivideByWeight(sum, weight), sum / weight) << sum << " / " << weight;
}

namespace {

// The reference's EnhanceChannel on a packed destination that starts out as `fill`.
std::vector<uint8_t> PlainEnhance(const Scene& s, int factor, int sh, uint8_t fill) {
    std::vector<uint8_t> out(s.values.size(), fill);
    reference::EnhanceChannel(s.Packed(out), PlaneView<const uint8_t>{s.values.data(), s.width, 1, s.width, s.height},
                              s.Scratch(), kEightBit, factor, sh);
    return out;
}

}  // namespace

TEST(EnhanceChannel, AgreesWithReferenceOnRandomPlanes) {
    std::mt19937 rng(99);
    for (int round = 0; round < 600; ++round) {
        Scene s{1 + static_cast<int>(rng() % 20), 1 + static_cast<int>(rng() % 20), {}, {}, {}};
        const unsigned distinctLabels = round % 3 == 0 ? 2 : 1 + rng() % 400;
        for (int i = 0; i < s.width * s.height; ++i) {
            s.values.push_back(static_cast<uint8_t>(rng()));
            s.labels.push_back(static_cast<int32_t>(1 + rng() % distinctLabels));
            s.boundary.push_back(rng() % 4 ? 255 : 0);
        }
        const int factor = static_cast<int>(rng() % 11), sh = static_cast<int>(rng() % 21) - 10;
        ASSERT_EQ(Enhance(s, factor, sh, 7), PlainEnhance(s, factor, sh, 7))
            << s.width << "x" << s.height << " factor " << factor << " sh " << sh;
    }
}

TEST(EnhanceChannel, RowsWiderThanOneWorkingSpanAgreeWithReference) {
    std::mt19937 rng(5);
    Scene s{2 * 2048 + 3, 4, {}, {}, {}};
    for (int i = 0; i < s.width * s.height; ++i) {
        s.values.push_back(static_cast<uint8_t>(rng()));
        s.labels.push_back(static_cast<int32_t>(1 + rng() % 3));
        s.boundary.push_back(rng() % 2 ? 255 : 0);
    }
    EXPECT_EQ(Enhance(s, 3, 0), PlainEnhance(s, 3, 0, 0));
    EXPECT_EQ(Enhance(s, 7, 4), PlainEnhance(s, 7, 4, 0));
}

TEST(EnhanceChannel, FlatPatchesAgreeWithReference) {
    // Rectangles of one value, wider than the blocks that flat content takes at once, with
    // labels that cut through them and specks that break a block here and there.
    std::mt19937 rng(21);
    for (int round = 0; round < 40; ++round) {
        Scene s{17 + static_cast<int>(rng() % 90), 3 + static_cast<int>(rng() % 9), {}, {}, {}};
        const int split = 1 + static_cast<int>(rng() % s.width);
        for (int y = 0; y < s.height; ++y)
            for (int x = 0; x < s.width; ++x) {
                uint8_t value = x < split ? 40 : 230;
                if (rng() % 60 == 0) value = static_cast<uint8_t>(rng());
                s.values.push_back(value);
                s.labels.push_back(1 + (x * 7 / s.width + y) % 3 * (round % 2));
                s.boundary.push_back(rng() % 9 ? 255 : 0);
            }
        const int factor = 1 + static_cast<int>(rng() % 10), sh = static_cast<int>(rng() % 21) - 10;
        ASSERT_EQ(Enhance(s, factor, sh, 7), PlainEnhance(s, factor, sh, 7))
            << s.width << "x" << s.height << " factor " << factor << " sh " << sh;
    }
}

TEST(EnhanceRows, AnySplitIntoBandsGivesTheWholeChannel) {
    std::mt19937 rng(13);
    for (int round = 0; round < 60; ++round) {
        Scene s{1 + static_cast<int>(rng() % 40), 1 + static_cast<int>(rng() % 12), {}, {}, {}};
        for (int i = 0; i < s.width * s.height; ++i) {
            s.values.push_back(static_cast<uint8_t>(rng() % 3 ? 90 : rng()));
            s.labels.push_back(static_cast<int32_t>(1 + rng() % 3));
            s.boundary.push_back(rng() % 4 ? 255 : 0);
        }
        const int factor = static_cast<int>(rng() % 11), sh = static_cast<int>(rng() % 21) - 10;
        std::vector<uint8_t> banded(s.values.size(), 7);
        const PlaneView<const uint8_t> src{s.values.data(), s.width, 1, s.width, s.height};
        // Bands in a shuffled order, each of 0 to 3 rows.
        std::vector<std::pair<int, int>> bands;
        for (int y = 0; y < s.height;) {
            const int end = std::min(s.height, y + static_cast<int>(rng() % 4));
            bands.emplace_back(y, end);
            y = end;
        }
        std::shuffle(bands.begin(), bands.end(), rng);
        for (const auto& [first, end] : bands)
            EnhanceRows(s.Packed(banded), src, s.Scratch(), kEightBit, factor, sh, first, end);
        ASSERT_EQ(banded, PlainEnhance(s, factor, sh, 7))
            << s.width << "x" << s.height << " factor " << factor << " sh " << sh;
    }
}

TEST(AmplifyBoundaries, EveryByteAtEverySharpening) {
    Scene s{256, 1, {}, std::vector<int32_t>(256, 1), std::vector<uint8_t>(256, 0)};
    for (int value = 0; value < 256; ++value) s.values.push_back(static_cast<uint8_t>(value));
    for (int sh = -10; sh <= 10; ++sh) {
        if (sh == 0) continue;  // nothing to scale: nothing is written
        const std::vector<uint8_t> out = Enhance(s, 0, sh);
        for (int value = 0; value < 256; ++value)
            ASSERT_EQ(out[value], std::min((100 + sh) * value / 100, 255)) << value << " sh " << sh;
    }
}

TEST(SmoothSegments, CentreWeightsBeyondTheCheckedRangeStillDivideExactly) {
    Scene s{9, 6, {}, {}, {}};
    for (int i = 0; i < s.width * s.height; ++i) {
        s.values.push_back(static_cast<uint8_t>(255 - i * 3));
        s.labels.push_back(static_cast<int32_t>(i % 5 < 3));
    }
    for (int centre : {kMaxCentreWeight + 1, 100}) {
        std::vector<uint8_t> out(s.values.size()), expected(s.values.size());
        SmoothSegments(s.Packed(out), s.Scratch(), kEightBit, centre);
        reference::SmoothSegments(s.Packed(expected), s.Scratch(), kEightBit, centre);
        EXPECT_EQ(out, expected) << "centre weight " << centre;
    }
}
