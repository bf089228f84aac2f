// The watershed on flat content, where levels have long runs and are grown plateau by
// plateau: whole plateaus filled, contested ones grown with agreed labels, runs seeded by
// blocks. The outputs must be the reference's, byte for byte, for every sample type.
#include "watershed.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "owned_scratch.h"
#include "reference_pass.h"
#include "sort_pixels.h"

namespace {

struct Result {
    std::vector<int32_t> labels;
    std::vector<uint8_t> boundary;
    bool guardsIntact;
};

// Sorts and segments values, row by row, with the core or with the reference; the core's
// buffers start out as garbage and are followed by guard entries.
template <typename Sample>
Result Segment(const std::vector<Sample>& values, int width, int height, bool c4,
               SampleRange range, bool reference) {
    OwnedScratch<Sample> scratch(values.size());
    const ptrdiff_t pitch = static_cast<ptrdiff_t>(width * sizeof(Sample));
    const PlaneView<const Sample> plane{values.data(), pitch, sizeof(Sample), width, height};
    SortPixels(scratch.Get(), plane, range);
    if (reference)
        reference::Watershed(scratch.Get(), width, height, c4);
    else
        Watershed(scratch.Get(), width, height, c4);
    return {scratch.Labels(), scratch.Boundary(), scratch.GuardsIntact()};
}

// The core against the reference on the same order, for bytes, for 16-bit words and for
// floats made from them (which sort alike).
void ExpectAgreesAtEveryDepth(const std::vector<uint8_t>& bytes, int width, int height, bool c4) {
    const Result core = Segment(bytes, width, height, c4, kEightBit, false);
    const Result plain = Segment(bytes, width, height, c4, kEightBit, true);
    ASSERT_EQ(core.labels, plain.labels) << width << "x" << height << " c4 " << c4;
    ASSERT_EQ(core.boundary, plain.boundary) << width << "x" << height << " c4 " << c4;
    ASSERT_TRUE(core.guardsIntact);

    std::vector<uint16_t> words(bytes.size());
    std::vector<float> floats(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) {
        words[i] = static_cast<uint16_t>(bytes[i] * 257);
        floats[i] = bytes[i] / 255.0f;
    }
    const Result wide = Segment(words, width, height, c4, IntegerRange(16), false);
    ASSERT_EQ(wide.labels, plain.labels) << "16-bit, " << width << "x" << height << " c4 " << c4;
    ASSERT_EQ(wide.boundary, plain.boundary) << "16-bit";
    const Result real = Segment(floats, width, height, c4, FloatRange(false), false);
    ASSERT_EQ(real.labels, plain.labels) << "float, " << width << "x" << height << " c4 " << c4;
    ASSERT_EQ(real.boundary, plain.boundary) << "float";
}

// Flat content as graphics have it: a plateau with shapes of other levels on it. Lower
// shapes make pits whose regions reach the plateau (one, or several that contest it), higher
// ones make holes and walls; shapes may touch the border. Diagonal lines make fronts that
// cross rows at a slant, ramps make rows of seeds, patches of grain mix both kinds of level.
std::vector<uint8_t> FlatScene(std::mt19937& rng, int width, int height) {
    const auto below = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    const uint8_t ground = static_cast<uint8_t>(100 + below(50));
    std::vector<uint8_t> v(static_cast<size_t>(width * height), ground);
    const auto set = [&](int x, int y, int value) {
        if (x >= 0 && x < width && y >= 0 && y < height)
            v[static_cast<size_t>(y * width + x)] = static_cast<uint8_t>(std::clamp(value, 0, 255));
    };
    const int shapes = below(12);
    for (int s = 0; s < shapes; ++s) {
        const int x0 = below(width), y0 = below(height);
        const int w = 1 + below(width), h = 1 + below(height);
        // Two shapes in three are pits, the others holes.
        const int value = below(3) ? ground - 1 - below(60) : ground + 1 + below(60);
        switch (below(6)) {
            case 0:  // a rectangle
                for (int y = y0; y < y0 + h; ++y)
                    for (int x = x0; x < x0 + w; ++x) set(x, y, value);
                break;
            case 1:  // a disc
                for (int y = y0 - h; y <= y0 + h; ++y)
                    for (int x = x0 - h; x <= x0 + h; ++x)
                        if ((x - x0) * (x - x0) + (y - y0) * (y - y0) <= h * h) set(x, y, value);
                break;
            case 2: {  // a shallow line, one or two pixels thick
                const int thick = 1 + below(2), slope = 2 + below(5);
                for (int x = 0; x < width; ++x)
                    for (int t = 0; t < thick; ++t) set(x, y0 + x / slope + t, value);
                break;
            }
            case 3:  // a ramp along rows or along columns
                for (int y = y0; y < y0 + h; ++y)
                    for (int x = x0; x < x0 + w; ++x)
                        set(x, y, ground - 70 + (s % 2 ? y - y0 : (x - x0) / 3));
                break;
            case 4:  // a patch of grain
                for (int y = y0; y < y0 + h / 2; ++y)
                    for (int x = x0; x < x0 + w / 2; ++x) set(x, y, value + below(3));
                break;
            default:  // a frame one pixel wide: a plateau inside with a wall round it
                for (int y = y0; y < y0 + h; ++y)
                    for (int x = x0; x < x0 + w; ++x)
                        if (y == y0 || y == y0 + h - 1 || x == x0 || x == x0 + w - 1)
                            set(x, y, value);
                break;
        }
    }
    return v;
}

// A flat channel of `value` with the given pixels set to others: {x, y, value}.
std::vector<uint8_t> Drawn(int width, int height, uint8_t value,
                           const std::vector<std::vector<int>>& pixels) {
    std::vector<uint8_t> v(static_cast<size_t>(width * height), value);
    for (const auto& p : pixels)
        v[static_cast<size_t>(p[1] * width + p[0])] = static_cast<uint8_t>(p[2]);
    return v;
}

}  // namespace

TEST(WatershedPlateaus, AgreeWithReferenceOnFlatScenesAtEveryDepth) {
    std::mt19937 rng(2024);
    for (int round = 0; round < 80; ++round) {
        // Widths from a few pixels (rows too short for runs) to well beyond the longest block.
        const int width = 3 + static_cast<int>(rng() % 150);
        const int height = 2 + static_cast<int>(rng() % 90);
        const std::vector<uint8_t> scene = FlatScene(rng, width, height);
        for (bool c4 : {true, false}) {
            ExpectAgreesAtEveryDepth(scene, width, height, c4);
            if (HasFatalFailure()) return;
        }
    }
}

TEST(WatershedPlateaus, PlateauReachedByOneRegionTakesItsLabelUnflagged) {
    // A wide plateau with one pit: every pixel of the plateau, the border ones included, is
    // grown from the pit's seeds alone.
    const int width = 60, height = 20;
    const std::vector<uint8_t> v = Drawn(width, height, 50, {{30, 9, 10}, {31, 9, 10}});
    for (bool c4 : {true, false}) {
        const Result r = Segment(v, width, height, c4, kEightBit, false);
        EXPECT_EQ(r.labels, std::vector<int32_t>(v.size(), 1)) << "c4 " << c4;
        EXPECT_EQ(r.boundary, std::vector<uint8_t>(v.size(), 255)) << "c4 " << c4;
        const Result plain = Segment(v, width, height, c4, kEightBit, true);
        EXPECT_EQ(r.labels, plain.labels);
    }
}

TEST(WatershedPlateaus, SeedlessPlateauOnTheBorderIsANewMinimumWhatItsNeighboursCarry) {
    // On the top row, pixels 2..6 of level 5 lie between pixels 1 (level 1) and 7 (level 2),
    // minima of their own; below them lies a wall. Off the border nothing of level 5 touches
    // them, so no seed does: they are a region of their own, although their lower neighbours
    // carry two labels. (A run of level 5 further down puts the level on the flat path.)
    const int width = 40, height = 7;
    std::vector<std::vector<int>> drawn = {{1, 0, 1}, {7, 0, 2}};
    for (int x = 2; x <= 6; ++x) drawn.push_back({x, 0, 5});
    for (int x = 5; x < 35; ++x) drawn.push_back({x, 4, 5});
    const std::vector<uint8_t> v = Drawn(width, height, 9, drawn);
    for (bool c4 : {true, false}) {
        const Result r = Segment(v, width, height, c4, kEightBit, false);
        const Result plain = Segment(v, width, height, c4, kEightBit, true);
        EXPECT_EQ(r.labels, plain.labels) << "c4 " << c4;
        EXPECT_EQ(r.boundary, plain.boundary) << "c4 " << c4;
        const int32_t own = r.labels[2];
        EXPECT_NE(own, r.labels[1]);
        EXPECT_NE(own, r.labels[7]);
        for (int x = 2; x <= 6; ++x) {
            EXPECT_EQ(r.labels[x], own) << x;
            EXPECT_EQ(r.boundary[x], 255) << x;
        }
    }
}

TEST(WatershedPlateaus, FrontsOfTwoRegionsMeetWhereTheirDistancesSay) {
    // A corridor of level 5 between walls, with pits at both ends: fronts from the two meet
    // in the middle. An odd number of plateau pixels puts one pixel at equal distance from
    // both, flagged; an even number splits it without a boundary.
    for (int length : {41, 42, 63, 64}) {
        const int width = length + 4, height = 5;
        std::vector<std::vector<int>> drawn = {{1, 2, 0}, {width - 2, 2, 1}};
        for (int x = 2; x < width - 2; ++x) drawn.push_back({x, 2, 5});
        const std::vector<uint8_t> v = Drawn(width, height, 9, drawn);
        for (bool c4 : {true, false}) {
            const Result r = Segment(v, width, height, c4, kEightBit, false);
            const Result plain = Segment(v, width, height, c4, kEightBit, true);
            EXPECT_EQ(r.labels, plain.labels) << length << " c4 " << c4;
            EXPECT_EQ(r.boundary, plain.boundary) << length << " c4 " << c4;
            int flagged = 0;
            for (int x = 2; x < width - 2; ++x) flagged += r.boundary[2 * width + x] == 0;
            // The seeds next to each pit are flagged neither; only the meeting pixel is.
            EXPECT_EQ(flagged, length % 2 == 0 ? 0 : 1) << length << " c4 " << c4;
        }
    }
}

TEST(WatershedPlateaus, PlateauBetweenRowsOfSeedsGrowsFromItsPixels) {
    // Rows: a minimum, seeds of it, a plateau, seeds of a second minimum, that minimum. Every
    // plateau pixel touches seeds of both regions (two to six of them), more pairs than the
    // queue keeps for a plateau of a third of the frame, so growth finds its first round among
    // the plateau's own pixels. All of them are flagged.
    for (int width : {40, 97}) {
        const int height = 5;
        std::vector<std::vector<int>> drawn;
        for (int x = 0; x < width; ++x) {
            drawn.push_back({x, 0, 1});
            drawn.push_back({x, 4, 2});
        }
        const std::vector<uint8_t> v = Drawn(width, height, 5, drawn);
        for (bool c4 : {true, false}) {
            const Result r = Segment(v, width, height, c4, kEightBit, false);
            const Result plain = Segment(v, width, height, c4, kEightBit, true);
            EXPECT_EQ(r.labels, plain.labels) << width << " c4 " << c4;
            EXPECT_EQ(r.boundary, plain.boundary) << width << " c4 " << c4;
            for (int x = 1; x < width - 1; ++x) EXPECT_EQ(r.boundary[2 * width + x], 0) << x;
        }
    }
}

TEST(WatershedPlateaus, NewMinimaAreNumberedInTheOrderOfTheirFirstPixels) {
    // Plateaus of one level, some new minima and some reached from pits, interleaved along the
    // order: the new ones must take labels in the order of their first pixels, as with
    // growth level-wide. Holes (walls of a higher level) cut the level into plateaus.
    std::mt19937 rng(99);
    for (int round = 0; round < 30; ++round) {
        const int width = 40 + static_cast<int>(rng() % 60);
        const int height = 10 + static_cast<int>(rng() % 30);
        std::vector<uint8_t> v(static_cast<size_t>(width * height), 5);
        for (int y = 0; y < height; y += 3 + static_cast<int>(rng() % 4))
            for (int x = 0; x < width; ++x) v[static_cast<size_t>(y * width + x)] = 9;
        for (int x = 0; x < width; x += 10 + static_cast<int>(rng() % 20))
            for (int y = 0; y < height; ++y) v[static_cast<size_t>(y * width + x)] = 9;
        for (int pits = static_cast<int>(rng() % 6); pits > 0; --pits)
            v[rng() % v.size()] = static_cast<uint8_t>(rng() % 5);
        for (bool c4 : {true, false}) {
            const Result r = Segment(v, width, height, c4, kEightBit, false);
            const Result plain = Segment(v, width, height, c4, kEightBit, true);
            ASSERT_EQ(r.labels, plain.labels) << width << "x" << height << " c4 " << c4;
            ASSERT_EQ(r.boundary, plain.boundary) << width << "x" << height << " c4 " << c4;
        }
    }
}
