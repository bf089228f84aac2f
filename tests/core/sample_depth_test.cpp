// The channel pass on 16-bit words and on floats: the same algorithm on other samples. Words
// of B bits must give exactly the 8-bit result scaled (filtering P * 2^K and shifting back by
// K gives the 8-bit result on P), floats the 8-bit result to within rounding, and both the
// plain reference's result on any values.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "basinlift_core.h"
#include "exact_division.h"
#include "owned_scratch.h"
#include "reference_pass.h"

namespace {

struct Settings {
    int factor, sh;
    bool c4;
};

// One channel pass through the core, with regions from seg and values from src.
template <typename Sample>
std::vector<Sample> Pass(const std::vector<Sample>& src, const std::vector<Sample>& seg,
                         int width, int height, SampleRange range, Settings s) {
    OwnedScratch<Sample> scratch(src.size());
    std::vector<Sample> out(src.size(), Sample{});
    const PlaneView<const Sample> source{src.data(), static_cast<ptrdiff_t>(width * sizeof(Sample)),
                                         sizeof(Sample), width, height};
    PlaneView<const Sample> regions = source;
    regions.data = seg.data();
    SortPixels(scratch.Get(), regions, range);
    Watershed(scratch.Get(), width, height, s.c4);
    ExtractChannel(scratch.Get(), source, range);
    EnhanceChannel(PlaneView<Sample>{out.data(), source.pitch, source.step, width, height},
                   source, scratch.Get(), range, s.factor, s.sh);
    EXPECT_TRUE(scratch.GuardsIntact());
    return out;
}

template <typename Sample>
std::vector<Sample> ReferencePass(const std::vector<Sample>& src, const std::vector<Sample>& seg,
                                  int width, int height, SampleRange range, Settings s) {
    std::vector<Sample> out(src.size(), Sample{});
    const ptrdiff_t pitch = static_cast<ptrdiff_t>(width * sizeof(Sample));
    const int step = sizeof(Sample);
    reference::ChannelPass(PlaneView<Sample>{out.data(), pitch, step, width, height},
                           PlaneView<const Sample>{src.data(), pitch, step, width, height},
                           PlaneView<const Sample>{seg.data(), pitch, step, width, height}, range,
                           s.factor, s.sh, s.c4);
    return out;
}

// Grain over a few steps: plateaus, ties and many small regions.
std::vector<uint8_t> RandomBytes(std::mt19937& rng, size_t size) {
    std::vector<uint8_t> values(size);
    const unsigned spread = 1 + rng() % 255;
    const unsigned base = rng() % (256 - spread);
    for (auto& v : values) v = static_cast<uint8_t>(base + rng() % (spread + 1) / (1 + rng() % 3));
    return values;
}

Settings RandomSettings(std::mt19937& rng) {
    return {static_cast<int>(rng() % 11), static_cast<int>(rng() % 21) - 10, rng() % 2 == 0};
}

// A random 8-bit plane (segmented on itself or, one time in three, on another plane) with
// random settings, and its 8-bit result: what every other depth is held to.
struct ByteCase {
    explicit ByteCase(std::mt19937& rng, int round)
        : width(1 + static_cast<int>(rng() % 24)), height(1 + static_cast<int>(rng() % 24)),
          n(static_cast<size_t>(width * height)), src(RandomBytes(rng, n)),
          seg(round % 3 ? src : RandomBytes(rng, n)), s(RandomSettings(rng)),
          bytes(Pass(src, seg, width, height, kEightBit, s)) {}
    int width, height;
    size_t n;
    std::vector<uint8_t> src, seg;
    Settings s;
    std::vector<uint8_t> bytes;
};

}  // namespace

TEST(SampleDepth, WordsOfEveryDepthGiveTheByteResultShifted) {
    std::mt19937 rng(16);
    for (int round = 0; round < 400; ++round) {
        const ByteCase c(rng, round);
        const auto& [width, height, n, src, seg, s, bytes] = c;
        for (int bits : {9, 10, 12, 14, 16}) {
            const int k = bits - 8;
            std::vector<uint16_t> wideSrc(n), wideSeg(n);
            for (size_t i = 0; i < n; ++i) {
                wideSrc[i] = static_cast<uint16_t>(src[i] << k);
                wideSeg[i] = static_cast<uint16_t>(seg[i] << k);
            }
            const std::vector<uint16_t> words = Pass(wideSrc, wideSeg, width, height, IntegerRange(bits), s);
            for (size_t i = 0; i < n; ++i)
                ASSERT_EQ(words[i] >> k, bytes[i])
                    << bits << " bits, pixel " << i << " of " << width << "x" << height
                    << " factor " << s.factor << " sh " << s.sh << " c4 " << s.c4;
        }
    }
}

TEST(SampleDepth, WordsAgreeWithTheReferenceOnAnyValues) {
    std::mt19937 rng(17);
    for (int round = 0; round < 300; ++round) {
        const int width = 1 + static_cast<int>(rng() % 20), height = 1 + static_cast<int>(rng() % 20);
        const int bits = 9 + static_cast<int>(rng() % 8);
        const size_t n = static_cast<size_t>(width * height);
        // Few distinct values (wide plateaus) or any value of the depth (every pixel its own).
        const unsigned distinct = round % 2 ? 4 : 1u << bits;
        std::vector<uint16_t> src(n);
        for (auto& v : src) v = static_cast<uint16_t>(rng() % distinct * ((1u << bits) / distinct));
        const Settings s = RandomSettings(rng);
        ASSERT_EQ(Pass(src, src, width, height, IntegerRange(bits), s),
                  ReferencePass(src, src, width, height, IntegerRange(bits), s))
            << width << "x" << height << " " << bits << " bits";
    }
}

TEST(SampleDepth, ScaledWordsSaturateAtTheTopOfTheirDepth) {
    // A boundary pixel between two minima, amplified by 10%: 1000 at 10 bits becomes 1023.
    const std::vector<uint16_t> values = {900, 900, 900, 900, 900,
                                          900, 0,   1000, 16, 900,
                                          900, 900, 900, 900, 900};
    const std::vector<uint16_t> out = Pass(values, values, 5, 3, IntegerRange(10), {0, 10, true});
    EXPECT_EQ(out[7], 1023);
    EXPECT_EQ(out[6], 0);
}

TEST(SampleDepth, EveryWordScalesAsTheIntegerFormulaAtEverySharpening) {
    const int width = 65536;
    std::vector<uint16_t> values(width);
    for (int v = 0; v < width; ++v) values[v] = static_cast<uint16_t>(v);
    std::vector<int32_t> labels(width, 1);
    std::vector<uint8_t> boundary(width, 0);
    const ChannelScratch<uint16_t> scratch{values.data(), nullptr, labels.data(), boundary.data(),
                                           nullptr, nullptr};
    const PlaneView<const uint16_t> source{values.data(), 2 * width, 2, width, 1};
    std::vector<uint16_t> out(width);
    for (int bits : {10, 16})
        for (int sh = -10; sh <= 10; ++sh) {
            if (sh == 0) continue;  // nothing to scale: nothing is written
            const int top = (1 << bits) - 1;
            EnhanceChannel(PlaneView<uint16_t>{out.data(), 2 * width, 2, width, 1}, source, scratch,
                           IntegerRange(bits), 0, sh);
            for (int v = 0; v < width; ++v)
                ASSERT_EQ(out[v], std::min((100 + sh) * v / 100, top)) << v << " sh " << sh << " " << bits;
        }
}

TEST(SampleDepth, FlatWordsAgreeWithTheReference) {
    // Wide plateaus of words, some above the depth: a flat block is smoothed to its value,
    // clamped like every other result.
    std::mt19937 rng(8);
    for (int round = 0; round < 40; ++round) {
        const int width = 20 + static_cast<int>(rng() % 60), height = 3 + static_cast<int>(rng() % 6);
        std::vector<uint16_t> src(static_cast<size_t>(width * height));
        const uint16_t left = static_cast<uint16_t>(rng()), right = static_cast<uint16_t>(rng() % 1024);
        for (size_t i = 0; i < src.size(); ++i)
            src[i] = rng() % 50 == 0 ? static_cast<uint16_t>(rng() % 1024)
                                      : static_cast<int>(i % width) < width / 2 ? left : right;
        const Settings s = RandomSettings(rng);
        ASSERT_EQ(Pass(src, src, width, height, IntegerRange(10), s),
                  ReferencePass(src, src, width, height, IntegerRange(10), s))
            << width << "x" << height << " factor " << s.factor << " sh " << s.sh;
    }
}

TEST(SampleDepth, FloatsFromBytesGiveTheByteResultWithinRounding) {
    std::mt19937 rng(32);
    for (int round = 0; round < 400; ++round) {
        const ByteCase c(rng, round);
        const auto& [width, height, n, src, seg, s, bytes] = c;
        // Luma as v / 255; chroma centred on 0, as v / 255 - 0.5.
        for (bool chroma : {false, true}) {
            const float offset = chroma ? 0.5f : 0.0f;
            std::vector<float> floatSrc(n), floatSeg(n);
            for (size_t i = 0; i < n; ++i) {
                floatSrc[i] = src[i] / 255.0f - offset;
                floatSeg[i] = seg[i] / 255.0f - offset;
            }
            const std::vector<float> floats =
                Pass(floatSrc, floatSeg, width, height, FloatRange(chroma), s);
            for (size_t i = 0; i < n; ++i)
                ASSERT_LE(std::fabs((floats[i] + offset) * 255.0f - bytes[i]), 1.0f)
                    << (chroma ? "chroma" : "luma") << ", pixel " << i << " of " << width << "x"
                    << height << " factor " << s.factor << " sh " << s.sh;
        }
    }
}

TEST(SampleDepth, FloatsAgreeWithTheReferenceOnAnyValues) {
    std::mt19937 rng(33);
    std::uniform_real_distribution<float> anywhere(-0.7f, 1.3f);
    for (int round = 0; round < 300; ++round) {
        const int width = 1 + static_cast<int>(rng() % 20), height = 1 + static_cast<int>(rng() % 20);
        const size_t n = static_cast<size_t>(width * height);
        const bool chroma = round % 2;
        std::vector<float> src(n);
        for (auto& v : src) v = round % 3 ? anywhere(rng) : static_cast<float>(rng() % 3) / 2 - 0.5f;
        const Settings s = RandomSettings(rng);
        const std::vector<float> fast = Pass(src, src, width, height, FloatRange(chroma), s);
        const std::vector<float> plain = ReferencePass(src, src, width, height, FloatRange(chroma), s);
        // The sums add in another order; the regions and every clamp are the same.
        for (size_t i = 0; i < n; ++i)
            ASSERT_NEAR(fast[i], plain[i], 1e-6f) << "pixel " << i << " of " << width << "x" << height;
    }
}

TEST(SampleDepth, NonFiniteFloatsReadAsTheEndsOfTheRange) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const std::vector<float> values = {0.5f, nan, 0.5f, inf, -inf, 0.25f, nan, 0.5f, -0.0f,
                                       0.0f, inf, 0.75f};
    // Smoothing, boundaries alone, and both; unsmoothed interior pixels are results too.
    for (const Settings& s : {Settings{1, 10, true}, Settings{10, -10, false}, Settings{4, 0, true},
                              Settings{0, 10, true}, Settings{0, -3, false}})
        for (bool chroma : {false, true}) {
            const std::vector<float> out = Pass(values, values, 4, 3, FloatRange(chroma), s);
            const float low = chroma ? -0.5f : 0.0f;
            for (float v : out) {
                ASSERT_TRUE(std::isfinite(v));
                ASSERT_GE(v, low);
                ASSERT_LE(v, low + 1.0f);
            }
            // The same as the picture with the non-finite samples at the ends of the range.
            std::vector<float> ends = values;
            for (float& v : ends)
                if (!std::isfinite(v)) v = (v > 0 ? 1.0f : 0.0f) - (chroma ? 0.5f : 0.0f);
            EXPECT_EQ(out, Pass(ends, ends, 4, 3, FloatRange(chroma), s));
        }
}

TEST(SampleDepth, ExtremeSamplesGiveResultsWithinTheRange) {
    // The largest floats of both signs in one window: their sum must not become a NaN.
    const float big = std::numeric_limits<float>::max();
    const std::vector<float> floats = {big, -big, big, 0.5f, -big, big, -big, 0.5f, big, 0.2f, 0.4f, 0.6f};
    for (const Settings& s : {Settings{5, 4, true}, Settings{10, 0, false}, Settings{0, 10, true}})
        for (const std::vector<float>& out : {Pass(floats, floats, 4, 3, FloatRange(false), s),
                                              ReferencePass(floats, floats, 4, 3, FloatRange(false), s)})
            for (float v : out) {
                ASSERT_TRUE(v >= 0.0f && v <= 1.0f) << v << " factor " << s.factor << " sh " << s.sh;
            }
    // Words with junk above their 10 bits come out within 10 bits, smoothed or not.
    const std::vector<uint16_t> words = {1023, 65535, 4000, 0, 1024, 7, 1023, 65535, 2, 40000, 1, 0};
    for (const Settings& s : {Settings{5, 4, true}, Settings{0, -2, false}, Settings{0, 10, true}}) {
        const std::vector<uint16_t> out = Pass(words, words, 4, 3, IntegerRange(10), s);
        EXPECT_EQ(out, ReferencePass(words, words, 4, 3, IntegerRange(10), s));
        for (uint16_t v : out) ASSERT_LE(v, 1023) << "factor " << s.factor << " sh " << s.sh;
    }
}

TEST(SampleDepth, WiderSamplesSortStablyAndEqualFloatsAreOneLevel) {
    const std::vector<float> floats = {0.5f, -0.0f, 0.25f, 0.0f, 0.5f, -0.25f};
    OwnedScratch<float> scratch(floats.size());
    SortPixels(scratch.Get(), PlaneView<const float>{floats.data(), 24, 4, 6, 1}, FloatRange(false));
    EXPECT_EQ(scratch.Order(), (std::vector<uint32_t>{5, 1, 3, 2, 0, 4}));
    // -0 is read as +0: side by side they are one plateau, so one region.
    const std::vector<float> zeros = {0.5f, -0.0f, 0.0f, 0.5f};
    OwnedScratch<float> plateau(zeros.size());
    SortPixels(plateau.Get(), PlaneView<const float>{zeros.data(), 16, 4, 4, 1}, FloatRange(false));
    Watershed(plateau.Get(), 4, 1, true);
    EXPECT_EQ(plateau.Labels(), (std::vector<int32_t>{2, 1, 1, 3}));

    std::mt19937 rng(5);
    std::vector<uint16_t> words(3000);
    for (auto& v : words) v = static_cast<uint16_t>(rng() % 7 * 9000 + (rng() % 2) * 256);
    OwnedScratch<uint16_t> wide(words.size());
    SortPixels(wide.Get(), PlaneView<const uint16_t>{words.data(), 6000, 2, 3000, 1}, IntegerRange(16));
    const std::vector<uint32_t> order = wide.Order();
    for (size_t i = 1; i < order.size(); ++i)
        ASSERT_TRUE(words[order[i - 1]] < words[order[i]] ||
                    (words[order[i - 1]] == words[order[i]] && order[i - 1] < order[i]))
            << "entries " << i - 1 << " and " << i;
    EXPECT_TRUE(wide.GuardsIntact());
}

TEST(ExactDivision, MatchesIntegerDivisionForEverySixteenBitSum) {
    for (int32_t weight = kMinSmoothingWeight; weight <= kMaxSmoothingWeight; ++weight)
        for (int32_t sum = 0; sum <= 65535 * weight; ++sum)
            if (DivideByWeight(sum, weight) != sum / weight)
                FAIL() << sum << " / " << weight;
}
