#include "watershed.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "owned_scratch.h"
#include "reference_pass.h"
#include "sort_pixels.h"

namespace {

// The core's Watershed and the reference's share one signature.
using WatershedFunction = void (*)(ChannelScratch<uint8_t>, int, int, bool);

// Sorts and segments a planar channel given row by row, with the output buffers starting
// out as garbage and followed by guard entries.
class Segmented {
public:
    Segmented(const std::vector<uint8_t>& values, int width, int height, bool c4,
              WatershedFunction segment = Watershed)
        : scratch_(values.size()) {
        SortPixels(scratch_.Get(), PlaneView<const uint8_t>{values.data(), width, 1, width, height},
                   kEightBit);
        segment(scratch_.Get(), width, height, c4);
    }

    std::vector<int32_t> Labels() const { return scratch_.Labels(); }
    std::vector<uint8_t> Boundary() const { return scratch_.Boundary(); }
    std::vector<uint32_t> Order() const { return scratch_.Order(); }
    bool GuardsIntact() const { return scratch_.GuardsIntact(); }

private:
    OwnedScratch<uint8_t> scratch_;
};

// 255 everywhere except at the given pixel indexes.
std::vector<uint8_t> BoundaryAt(size_t size, std::vector<int> flagged) {
    std::vector<uint8_t> boundary(size, 255);
    for (int i : flagged) boundary[i] = 0;
    return boundary;
}

// Every drawn shape runs through the core and through the reference, with both
// connectivities: the reference is what the random comparisons below trust.
class WatershedShapes
    : public ::testing::TestWithParam<std::tuple<WatershedFunction, bool>> {
protected:
    void Expect(const std::vector<uint8_t>& values, int width, int height,
                const std::vector<int32_t>& labels, const std::vector<int>& flagged) {
        const Segmented s(values, width, height, std::get<1>(GetParam()),
                          std::get<0>(GetParam()));
        EXPECT_EQ(s.Labels(), labels);
        EXPECT_EQ(s.Boundary(), BoundaryAt(values.size(), flagged));
        EXPECT_TRUE(s.GuardsIntact());
    }
};

}  // namespace

TEST_P(WatershedShapes, FlatChannelIsOneRegion) {
    Expect(std::vector<uint8_t>(20, 42), 5, 4, std::vector<int32_t>(20, 1), {});
}

TEST_P(WatershedShapes, SinglePixel) { Expect({200}, 1, 1, {1}, {}); }

TEST_P(WatershedShapes, SingleRowHasNoSeedsSoEveryLocalPlateauIsARegion) {
    Expect({3, 1, 2, 1, 3}, 5, 1, {4, 1, 3, 2, 5}, {});
}

TEST_P(WatershedShapes, BorderRingAroundAPitIsItsOwnRegion) {
    Expect({5, 5, 5,
            5, 0, 5,
            5, 5, 5}, 3, 3,
           {2, 2, 2,
            2, 1, 2,
            2, 2, 2}, {});
}

TEST_P(WatershedShapes, BorderPixelIsNeverASeed) {
    Expect({9, 9, 9, 9,
            5, 0, 5, 9,
            9, 9, 9, 9}, 4, 3,
           {3, 3, 3, 3,
            2, 1, 1, 3,
            3, 3, 3, 3}, {});
}

TEST_P(WatershedShapes, PixelBetweenTwoMinimaIsFlaggedAndKeepsTheFirstLabel) {
    Expect({9, 9, 9, 9, 9,
            9, 0, 5, 1, 9,
            9, 9, 9, 9, 9}, 5, 3,
           {3, 3, 3, 3, 3,
            3, 1, 1, 2, 3,
            3, 3, 3, 3, 3}, {7});
}

TEST_P(WatershedShapes, OddPlateauMeetsInTheMiddle) {
    Expect({9, 9, 9, 9, 9, 9, 9,
            9, 0, 5, 5, 5, 1, 9,
            9, 9, 9, 9, 9, 9, 9}, 7, 3,
           {3, 3, 3, 3, 3, 3, 3,
            3, 1, 1, 1, 2, 2, 3,
            3, 3, 3, 3, 3, 3, 3}, {10});
}

TEST_P(WatershedShapes, EvenPlateauSplitsWithoutBoundary) {
    Expect({9, 9, 9, 9, 9, 9, 9, 9,
            9, 0, 5, 5, 5, 5, 1, 9,
            9, 9, 9, 9, 9, 9, 9, 9}, 8, 3,
           {3, 3, 3, 3, 3, 3, 3, 3,
            3, 1, 1, 1, 2, 2, 2, 3,
            3, 3, 3, 3, 3, 3, 3, 3}, {});
}

INSTANTIATE_TEST_SUITE_P(
    CoreAndReference, WatershedShapes,
    ::testing::Combine(::testing::Values(&Watershed<uint8_t>, &reference::Watershed<uint8_t>),
                       ::testing::Bool()),
    [](const ::testing::TestParamInfo<WatershedShapes::ParamType>& info) {
        return std::string(std::get<0>(info.param) == &Watershed<uint8_t> ? "Core" : "Reference") +
               (std::get<1>(info.param) ? "C4" : "C8");
    });

TEST(Watershed, FlaggedPixelTakesItsLastNeighboursLabel) {
    // Orthogonal neighbours in visiting order: 0 (label 1), then 2 (label 3) flags the
    // centre, then 1 (label 2) relabels it.
    for (WatershedFunction segment : {&Watershed<uint8_t>, &reference::Watershed<uint8_t>}) {
        const Segmented s({9, 9, 9, 9, 9,
                           9, 9, 0, 9, 9,
                           9, 2, 5, 1, 9,
                           9, 9, 9, 9, 9,
                           9, 9, 9, 9, 9}, 5, 5, true, segment);
        const std::vector<int32_t> labels = s.Labels();
        EXPECT_EQ(labels[7], 1);
        EXPECT_EQ(labels[13], 2);
        EXPECT_EQ(labels[11], 3);
        EXPECT_EQ(labels[12], 2);
        EXPECT_EQ(s.Boundary()[12], 0);
    }
}

namespace {

// Labels at return are exactly 1..R, met for the first time in the order's order.
::testing::AssertionResult NumberedByDiscovery(const Segmented& s) {
    const std::vector<int32_t> labels = s.Labels();
    int32_t highest = 0;
    for (uint32_t pixel : s.Order()) {
        const int32_t label = labels[pixel];
        if (label < 1 || label > highest + 1)
            return ::testing::AssertionFailure() << "label " << label << " after " << highest;
        if (label == highest + 1) ++highest;
    }
    return ::testing::AssertionSuccess();
}

void ExpectAgreesWithReference(const std::vector<uint8_t>& values, int width, int height,
                               bool c4) {
    const Segmented s(values, width, height, c4);
    const Segmented plain(values, width, height, c4, &reference::Watershed<uint8_t>);
    ASSERT_EQ(s.Labels(), plain.Labels()) << width << "x" << height << " c4 " << c4;
    ASSERT_EQ(s.Boundary(), plain.Boundary()) << width << "x" << height << " c4 " << c4;
    ASSERT_TRUE(NumberedByDiscovery(s));
    ASSERT_TRUE(s.GuardsIntact());
}

std::vector<uint8_t> RandomChannel(std::mt19937& rng, size_t size, int levels) {
    std::vector<uint8_t> values(size);
    const unsigned lowest = rng() % 200;
    for (auto& v : values) v = static_cast<uint8_t>(lowest + rng() % levels * 17);
    return values;
}

}  // namespace

TEST(Watershed, AgreesWithReferenceOnSmallRandomChannels) {
    std::mt19937 rng(20240611);
    for (int round = 0; round < 3000; ++round) {
        const int width = 1 + static_cast<int>(rng() % 12);
        const int height = 1 + static_cast<int>(rng() % 12);
        const std::vector<uint8_t> values =
            RandomChannel(rng, static_cast<size_t>(width * height), 2 + round % 3);
        ExpectAgreesWithReference(values, width, height, round % 2 == 0);
        if (HasFatalFailure()) return;
    }
}

TEST(Watershed, AgreesWithReferenceOnWidePlateausAndRamps) {
    std::mt19937 rng(7);
    // Plateaus thousands of pixels wide keep many pixels queued and grow for many rounds.
    std::vector<uint8_t> ramp(150 * 90);
    for (int y = 0; y < 90; ++y)
        for (int x = 0; x < 150; ++x) ramp[y * 150 + x] = static_cast<uint8_t>((x + y) / 20);
    ramp[91 * 50 % ramp.size()] = 0;
    for (bool c4 : {false, true}) {
        ExpectAgreesWithReference(ramp, 150, 90, c4);
        ExpectAgreesWithReference(RandomChannel(rng, 120 * 70, 2), 120, 70, c4);
        ExpectAgreesWithReference(std::vector<uint8_t>(200 * 60, 3), 200, 60, c4);
    }
}

TEST(Watershed, AgreesWithReferenceOnGrain) {
    // Like video: a smooth picture under grain, so most pixels touch a lower neighbour, regions
    // are small and boundaries many; every level is present.
    std::mt19937 rng(3);
    for (int round = 0; round < 6; ++round) {
        const int width = 37 + round * 11, height = 23 + round * 7;
        std::vector<uint8_t> values(static_cast<size_t>(width * height));
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                values[y * width + x] = static_cast<uint8_t>(
                    std::min(255, (x * 200 / width + y * 50 / height) + static_cast<int>(rng() % 19)));
        ExpectAgreesWithReference(values, width, height, round % 2 == 0);
    }
}

TEST(Watershed, FrontsMeetAfterHundredsOfRoundsWhereTheirDistancesSay) {
    // A corridor of 5 winds through walls of 9, from a 0 at one end to a 1 at the other, with
    // a 2 on the way: the growth from each runs for hundreds of rounds before the fronts meet,
    // and where they meet depends on every distance on the way.
    const int width = 61, height = 41;
    std::vector<uint8_t> maze(static_cast<size_t>(width * height), 9);
    for (int y = 1; y < height - 1; y += 2) {
        for (int x = 1; x < width - 1; ++x) maze[y * width + x] = 5;
        const int gap = (y / 2) % 2 == 0 ? width - 2 : 1;  // the way down, alternately
        if (y + 1 < height - 1) maze[(y + 1) * width + gap] = 5;
    }
    maze[1 * width + 1] = 0;
    maze[(height - 2) * width + (width - 2)] = 1;
    maze[21 * width + 17] = 2;
    for (bool c4 : {false, true}) ExpectAgreesWithReference(maze, width, height, c4);
}

TEST(Watershed, BuffersReusedForASmallerChannelCarryNothingOver) {
    // As the filter does from a luma plane to a chroma plane: the second call's outputs must
    // not depend on what the first left in the buffers.
    std::mt19937 rng(11);
    const std::vector<uint8_t> first = RandomChannel(rng, 40 * 30, 4);
    const std::vector<uint8_t> second = RandomChannel(rng, 17 * 11, 3);
    OwnedScratch<uint8_t> scratch(first.size());
    const auto segment = [&](const std::vector<uint8_t>& values, int width, int height, bool c4) {
        SortPixels(scratch.Get(), PlaneView<const uint8_t>{values.data(), width, 1, width, height},
                   kEightBit);
        Watershed(scratch.Get(), width, height, c4);
    };
    segment(first, 40, 30, false);
    segment(second, 17, 11, true);
    const Segmented plain(second, 17, 11, true, &reference::Watershed<uint8_t>);
    const size_t n = second.size();
    const std::vector<int32_t> labels = scratch.Labels();
    const std::vector<uint8_t> boundary = scratch.Boundary();
    EXPECT_EQ(std::vector<int32_t>(labels.begin(), labels.begin() + n), plain.Labels());
    EXPECT_EQ(std::vector<uint8_t>(boundary.begin(), boundary.begin() + n), plain.Boundary());
}
