// The engine on its own: every format's plan writes each destination row byte once and nothing
// beyond, at every depth; each plane or channel comes out as the plain reference's pass of that
// plane alone with its factor (or as a copy); words of every depth give the byte result scaled
// through whole frames; and the checks treat every format sensibly.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

#include "arguments.h"
#include "frame_render.h"
#include "region_painter.h"
#include "reference_pass.h"

namespace {

struct FormatCase {
    const engine::PixelFormat* format;
    int width, height;
};

const FormatCase kFormats[] = {
    {&engine::kBgr24, 13, 7},    {&engine::kBgr32, 13, 7},      {&engine::kYuy2, 14, 7},
    {&engine::kYuv420, 14, 8},   {&engine::kYuv422, 14, 7},     {&engine::kYuv444, 13, 7},
    {&engine::kYuv411, 16, 7},   {&engine::kYuv410, 16, 8},     {&engine::kYuv440, 13, 8},
    {&engine::kGray, 13, 7},     {&engine::kRgbPlanar, 13, 7},  {&engine::kRgbaPlanar, 13, 7},
    {&engine::kYuva420, 14, 8},  {&engine::kYuva422, 14, 7},    {&engine::kYuva444, 13, 7},
};

const engine::SampleFormat kDepths[] = {engine::kByteSamples, engine::IntegerSamples(10),
                                        engine::IntegerSamples(16), engine::kFloatSamples};

// Bytes after every row, which nothing may write; a multiple of every sample size, as hosts
// keep rows aligned to their samples.
constexpr int kPadding = 8;

// The frames of one call, each plane with a padded pitch in its own buffer.
struct Frame {
    Frame(const engine::VideoFormat& format, int width, int height, uint8_t fill)
        : sampleBytes(format.samples.Bytes()) {
        for (int p = 0; p < engine::PlaneCount(*format.pixels); ++p) {
            widths.push_back(engine::PlaneWidth(*format.pixels, p, width));
            rows.push_back(engine::PlaneHeight(*format.pixels, p, height));
            planes.emplace_back(static_cast<size_t>(Pitch(p) * rows.back()), fill);
        }
    }
    int RowBytes(size_t p) const { return widths[p] * sampleBytes; }
    int Pitch(size_t p) const { return widths[p] * sampleBytes + kPadding; }
    uint8_t* Row(size_t p, int y) { return planes[p].data() + y * Pitch(p); }

    template <typename Sample>
    Sample& At(size_t p, int x, int y) {
        return reinterpret_cast<Sample*>(Row(p, y))[x];
    }

    // Steps of grain, a few values apart, at the samples' depth (floats within 0..1, chroma
    // included, as the filter reads them: offset by 0.5 on reading only where it is chroma).
    void Randomise(const engine::SampleFormat& samples, uint32_t seed) {
        std::mt19937 random(seed);
        for (size_t p = 0; p < planes.size(); ++p)
            for (int y = 0; y < rows[p]; ++y)
                for (int x = 0; x < widths[p]; ++x) {
                    const unsigned byte = random() % 6 * 40 + random() % 8;
                    if (samples.type == engine::SampleType::Byte)
                        At<uint8_t>(p, x, y) = static_cast<uint8_t>(byte);
                    else if (samples.type == engine::SampleType::Word)
                        At<uint16_t>(p, x, y) = static_cast<uint16_t>(byte << (samples.bits - 8));
                    else
                        At<float>(p, x, y) = static_cast<float>(byte) / 255.0f - 0.25f;
                }
    }

    int sampleBytes;
    std::vector<int> widths, rows;
    std::vector<std::vector<uint8_t>> planes;
};

engine::FrameRefs RefsOf(Frame& dst, Frame& src, Frame& seg) {
    engine::FrameRefs refs{};
    for (size_t p = 0; p < dst.planes.size(); ++p) {
        refs.dst[p] = {dst.planes[p].data(), dst.Pitch(p)};
        refs.src[p] = {src.planes[p].data(), src.Pitch(p)};
        refs.seg[p] = {seg.planes[p].data(), seg.Pitch(p)};
    }
    return refs;
}

void Render(const engine::FramePlan& plan, Frame& dst, Frame& src, Frame& seg) {
    const engine::WorkingBuffers buffers(plan.Width(), plan.Height(), plan.Samples());
    engine::RenderFrame(plan, buffers, RefsOf(dst, src, seg));
}

engine::FilterSettings Settings(int sh, int sm, int smu, int smv, bool useclip = false) {
    engine::FilterSettings s = engine::DefaultSettings();
    s.sh = sh, s.sm = sm, s.smu = smu, s.smv = smv, s.useclip = useclip;
    return s;
}

std::string NameOf(const FormatCase& f, const engine::SampleFormat& samples) {
    return std::string(f.format->name) + " " + engine::DepthName(samples);
}

TEST(RenderFrame, EveryFormatAndDepthWritesEachRowByteOnceAndNothingBeyond) {
    for (const FormatCase& f : kFormats)
        for (const engine::SampleFormat& samples : kDepths)
            for (const engine::FilterSettings& s : {Settings(2, 3, 2, 0), Settings(0, 0, 0, 4)}) {
                if (engine::IsRgb(*f.format) && s.sm == 0 && s.sh == 0) continue;  // refused
                SCOPED_TRACE(NameOf(f, samples) + " sm " + std::to_string(s.sm));
                const engine::VideoFormat format{f.format, samples};
                const engine::FramePlan plan(format, f.width, f.height, s);
                Frame src(format, f.width, f.height, 0);
                src.Randomise(samples, 7);
                // Two runs over different junk: a byte that differs between them was never
                // written.
                Frame a(format, f.width, f.height, 0x11), b(format, f.width, f.height, 0xEE);
                Render(plan, a, src, src);
                Render(plan, b, src, src);
                for (size_t p = 0; p < a.planes.size(); ++p)
                    for (int y = 0; y < a.rows[p]; ++y)
                        for (int x = 0; x < a.Pitch(p); ++x) {
                            if (x < a.RowBytes(p))
                                ASSERT_EQ(a.Row(p, y)[x], b.Row(p, y)[x])
                                    << "unwritten: plane " << p << " " << x << "," << y;
                            else
                                ASSERT_EQ(a.Row(p, y)[x], 0x11) << "padding written: plane " << p;
                        }
            }
}

// What each format's channels are, written out independently of the plan: the plane, the
// channel's place in it (in samples), its factor (0 for a chroma channel or alpha means a
// copy) and whether it is chroma.
struct Channel {
    size_t plane;
    int offset, step, width, height, factor;
    bool chroma;
};

std::vector<Channel> ChannelsOf(const FormatCase& f, int sm, int smu, int smv) {
    const engine::PixelFormat& format = *f.format;
    const int w = f.width, h = f.height;
    switch (format.layout) {
        case engine::Layout::PackedBgr: {
            const int step = format.samplesPerPixel;
            std::vector<Channel> c = {{0, 0, step, w, h, sm, false},
                                      {0, 1, step, w, h, sm, false},
                                      {0, 2, step, w, h, sm, false}};
            if (format.alpha) c.push_back({0, 3, step, w, h, 0, false});
            return c;
        }
        case engine::Layout::PackedYuy2:
            return {{0, 0, 2, w, h, sm, false}, {0, 1, 4, w / 2, h, smu, true}, {0, 3, 4, w / 2, h, smv, true}};
        case engine::Layout::PlanarYuv: {
            const int cw = w >> format.chromaShiftX, ch = h >> format.chromaShiftY;
            std::vector<Channel> c = {{0, 0, 1, w, h, sm, false},
                                      {1, 0, 1, cw, ch, smu, true},
                                      {2, 0, 1, cw, ch, smv, true}};
            if (format.alpha) c.push_back({3, 0, 1, w, h, 0, false});
            return c;
        }
        case engine::Layout::PlanarRgb: {
            std::vector<Channel> c = {{0, 0, 1, w, h, sm, false},
                                      {1, 0, 1, w, h, sm, false},
                                      {2, 0, 1, w, h, sm, false}};
            if (format.alpha) c.push_back({3, 0, 1, w, h, 0, false});
            return c;
        }
        case engine::Layout::Gray: return {{0, 0, 1, w, h, sm, false}};
    }
    return {};
}

template <typename Sample>
PlaneView<const Sample> ViewOf(Frame& f, const Channel& c) {
    return {reinterpret_cast<const Sample*>(f.planes[c.plane].data()) + c.offset, f.Pitch(c.plane),
            c.step * static_cast<int>(sizeof(Sample)), c.width, c.height};
}

template <typename Sample>
std::vector<Sample> Values(Frame& f, const Channel& c) {
    const PlaneView<const Sample> view = ViewOf<Sample>(f, c);
    std::vector<Sample> values;
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x) values.push_back(view.At(view.Row(y), x));
    return values;
}

// A channel pass of one channel alone, as the plain reference computes it.
template <typename Sample>
std::vector<Sample> ReferenceChannel(Frame& src, Frame& seg, const Channel& c, SampleRange range,
                                     int sh) {
    std::vector<Sample> out(static_cast<size_t>(c.width) * c.height);
    reference::ChannelPass(
        PlaneView<Sample>{out.data(), static_cast<ptrdiff_t>(c.width * sizeof(Sample)),
                          sizeof(Sample), c.width, c.height},
        ViewOf<Sample>(src, c), ViewOf<Sample>(seg, c), range, c.factor, sh, true);
    return out;
}

TEST(RenderFrame, EachChannelIsTheReferencePassOfItselfOrACopy) {
    const int sh = -4, sm = 5, smu = 3, smv = 0;  // V is copied
    for (const FormatCase& f : kFormats)
        for (const engine::SampleFormat& samples : kDepths)
            for (bool useclip : {false, true}) {
                SCOPED_TRACE(NameOf(f, samples) + (useclip ? " useclip" : ""));
                const engine::VideoFormat format{f.format, samples};
                const engine::FramePlan plan(format, f.width, f.height,
                                             Settings(sh, sm, smu, smv, useclip));
                Frame src(format, f.width, f.height, 0), seg(format, f.width, f.height, 0),
                    dst(format, f.width, f.height, 0);
                src.Randomise(samples, 1);
                seg.Randomise(samples, 2);
                Frame& regions = useclip ? seg : src;
                Render(plan, dst, src, regions);
                engine::DispatchSamples(samples, [&](auto sample) {
                    using Sample = decltype(sample);
                    for (const Channel& c : ChannelsOf(f, sm, smu, smv)) {
                        const SampleRange range = samples.type == engine::SampleType::Float
                                                      ? FloatRange(c.chroma)
                                                      : IntegerRange(samples.bits);
                        const std::vector<Sample> expected =
                            c.factor == 0 ? Values<Sample>(src, c)
                                          : ReferenceChannel<Sample>(src, regions, c, range, sh);
                        const std::vector<Sample> got = Values<Sample>(dst, c);
                        ASSERT_EQ(got.size(), expected.size());
                        // Float sums add in another order in the reference: the last bit may
                        // differ, nothing else.
                        for (size_t i = 0; i < got.size(); ++i)
                            ASSERT_NEAR(got[i], expected[i], (std::is_same_v<Sample, float> ? 1e-6 : 0))
                                << "plane " << c.plane << " offset " << c.offset << " sample " << i;
                    }
                });
            }
}

TEST(RenderFrame, WordsOfEveryDepthGiveTheByteFrameShiftedInEveryFormat) {
    std::mt19937 rng(10);
    for (const FormatCase& f : kFormats)
        for (int round = 0; round < 6; ++round) {
            engine::FilterSettings s =
                Settings(static_cast<int>(rng() % 21) - 10, static_cast<int>(rng() % 11),
                         static_cast<int>(rng() % 11), static_cast<int>(rng() % 11), round % 2);
            s.c4 = round % 3 != 0;
            if (engine::IsRgb(*f.format) && s.sm == 0 && s.sh == 0) continue;
            const engine::VideoFormat bytes{f.format, engine::kByteSamples};
            Frame src(bytes, f.width, f.height, 0), seg(bytes, f.width, f.height, 0),
                out(bytes, f.width, f.height, 0);
            src.Randomise(engine::kByteSamples, rng());
            seg.Randomise(engine::kByteSamples, rng());
            Render(engine::FramePlan(bytes, f.width, f.height, s), out, src, s.useclip ? seg : src);
            for (int bits : {9, 10, 12, 14, 16}) {
                SCOPED_TRACE(std::string(f.format->name) + " " + std::to_string(bits) + " bits");
                const engine::VideoFormat words{f.format, engine::IntegerSamples(bits)};
                Frame wideSrc(words, f.width, f.height, 0), wideSeg(words, f.width, f.height, 0),
                    wideOut(words, f.width, f.height, 0);
                for (size_t p = 0; p < src.planes.size(); ++p)
                    for (int y = 0; y < src.rows[p]; ++y)
                        for (int x = 0; x < src.widths[p]; ++x) {
                            wideSrc.At<uint16_t>(p, x, y) = static_cast<uint16_t>(src.At<uint8_t>(p, x, y) << (bits - 8));
                            wideSeg.At<uint16_t>(p, x, y) = static_cast<uint16_t>(seg.At<uint8_t>(p, x, y) << (bits - 8));
                        }
                Render(engine::FramePlan(words, f.width, f.height, s), wideOut, wideSrc,
                       s.useclip ? wideSeg : wideSrc);
                for (size_t p = 0; p < out.planes.size(); ++p)
                    for (int y = 0; y < out.rows[p]; ++y)
                        for (int x = 0; x < out.widths[p]; ++x)
                            ASSERT_EQ(wideOut.At<uint16_t>(p, x, y) >> (bits - 8), out.At<uint8_t>(p, x, y))
                                << "plane " << p << " " << x << "," << y;
            }
        }
}

TEST(RegionPainter, MosaicPaintsRegionMeansAndMarksOnlyWhenAsked) {
    // One row of 8-bit grey on a 5x3 frame: a pit of 0, a 5 between two minima, a pit of 1.
    const engine::VideoFormat gray{&engine::kGray, engine::kByteSamples};
    Frame src(gray, 5, 3, 0), dst(gray, 5, 3, 0);
    const uint8_t rows[3][5] = {{9, 9, 9, 9, 9}, {9, 0, 5, 1, 9}, {9, 9, 9, 9, 9}};
    for (int y = 0; y < 3; ++y) std::memcpy(src.Row(0, y), rows[y], 5);
    const engine::FramePlan plan(gray, 5, 3, engine::DefaultSettings());
    // Regions: {0, 5} (the 5 is the boundary, labelled with its left neighbour), {1}, the 9s.
    engine::RegionPainter mosaic(5, 3, gray.samples, engine::RegionsStyle::Mosaic);
    mosaic.Paint(plan, RefsOf(dst, src, src));
    EXPECT_EQ(std::vector<uint8_t>(dst.Row(0, 1), dst.Row(0, 1) + 5),
              (std::vector<uint8_t>{9, 3, 3, 1, 9}));  // (0 + 5) / 2 rounded half up
    engine::RegionPainter marked(5, 3, gray.samples, engine::RegionsStyle::MarkBoundaries);
    marked.Paint(plan, RefsOf(dst, src, src));
    EXPECT_EQ(std::vector<uint8_t>(dst.Row(0, 1), dst.Row(0, 1) + 5),
              (std::vector<uint8_t>{9, 3, 255, 1, 9}));  // a dark region's line is bright
}

engine::ClipFacts Facts(const engine::PixelFormat& format, int width, int height,
                        engine::SampleFormat samples = engine::kByteSamples) {
    return {{&format, samples}, width, height, 10};
}

const char* Check(const engine::ClipFacts& facts, const engine::FilterSettings& s,
                  engine::HostRules rules = engine::HostRules::Avisynth) {
    return engine::FirstFailedCheck(facts, s, engine::SclipFacts{}, rules);
}

TEST(Checks, FormatsBeyondTheClassicOnesFollowTheirFamily) {
    // Planar RGB is RGB: nothing to do refused, smu and smv not looked at in AviSynth.
    EXPECT_STREQ(Check(Facts(engine::kRgbPlanar, 8, 8), Settings(0, 0, 50, -3)),
                 "BasinLift: sh and sm both can not be zero");
    EXPECT_EQ(Check(Facts(engine::kRgbaPlanar, 8, 8), Settings(0, 1, 50, -3)), nullptr);
    // Grey has Y alone: smu and smv change nothing there, so they cannot save a call that
    // changes nothing, and the refusal does not speak of planes it lacks.
    const char* grayNothing =
        "BasinLift: sh and sm both can not be zero; a clip of Y alone has no U and V for smu and smv";
    EXPECT_STREQ(Check(Facts(engine::kGray, 8, 8), Settings(0, 0, 0, 0)), grayNothing);
    EXPECT_STREQ(Check(Facts(engine::kGray, 8, 8), Settings(0, 0, 3, 0)), grayNothing);
    EXPECT_STREQ(Check(Facts(engine::kGray, 8, 8), Settings(1, 1, 11, 0)),
                 "BasinLift: u smoothening factor smu must be between 0 and 10");
    // YUV with only chroma smoothing changes the chroma: accepted, alpha or not.
    EXPECT_EQ(Check(Facts(engine::kYuv444, 8, 8), Settings(0, 0, 3, 0)), nullptr);
    EXPECT_EQ(Check(Facts(engine::kYuva420, 8, 8), Settings(0, 0, 0, 3)), nullptr);
    EXPECT_STREQ(Check(Facts(engine::kYuva444, 8, 8), Settings(0, 0, 0, 0)),
                 "BasinLift: sh, sm, smu and smv  values are zero");
    // Sizes must divide into whole chroma samples.
    EXPECT_STREQ(Check(Facts(engine::kYuv420, 8, 7), Settings(1, 1, 0, 0)),
                 "BasinLift: YUY2 needs an even width, YV12 and I420 an even width and height");
    EXPECT_STREQ(Check(Facts(engine::kYuv411, 6, 8), Settings(1, 1, 0, 0)),
                 "BasinLift: the width and height must divide by the chroma subsampling of the format");
    EXPECT_STREQ(Check(Facts(engine::kYuv440, 8, 7), Settings(1, 1, 0, 0)),
                 "BasinLift: the width and height must divide by the chroma subsampling of the format");
    EXPECT_EQ(Check(Facts(engine::kYuv410, 8, 4), Settings(1, 1, 0, 0)), nullptr);
    EXPECT_EQ(Check(Facts(engine::kYuv444, 7, 5), Settings(1, 1, 0, 0)), nullptr);
}

TEST(Checks, DepthsBeyondTheEngineAreRefusedAsFormats) {
    EXPECT_EQ(Check(Facts(engine::kYuv420, 8, 8, engine::IntegerSamples(16)), Settings(1, 1, 0, 0)), nullptr);
    EXPECT_EQ(Check(Facts(engine::kYuv420, 8, 8, engine::kFloatSamples), Settings(1, 1, 0, 0)), nullptr);
    const engine::SampleFormat half{engine::SampleType::Float, 16}, seventeen{engine::SampleType::Word, 17};
    for (const engine::SampleFormat& samples : {half, seventeen})
        EXPECT_STREQ(Check(Facts(engine::kYuv420, 8, 8, samples), Settings(1, 1, 0, 0)),
                     engine::kUnsupportedFormatRefusal);
}

TEST(Checks, VapourSynthChecksEveryRangeOnEveryFormat) {
    const auto vs = engine::HostRules::VapourSynth;
    for (const engine::PixelFormat* format : {&engine::kRgbPlanar, &engine::kGray, &engine::kYuv420}) {
        SCOPED_TRACE(format->name);
        EXPECT_STREQ(Check(Facts(*format, 8, 8), Settings(1, 1, 11, 0), vs),
                     "BasinLift: u smoothening factor smu must be between 0 and 10");
        EXPECT_STREQ(Check(Facts(*format, 8, 8), Settings(1, 1, 0, -1), vs),
                     "BasinLift: v smoothening factor smv must be between 0 and 10");
    }
}

TEST(Arguments, EveryHostsSignatureComesFromTheTable) {
    EXPECT_STREQ(engine::kAvisynthSignature, "c[sh]i[sm]i[c4]b[useclip]b[sclip]c[smu]i[smv]i");
    EXPECT_EQ(engine::VapourSynthSignature(),
              "clip:vnode;sh:int:opt;sm:int:opt;c4:int:opt;sclip:vnode:opt;smu:int:opt;smv:int:opt;");
    const engine::FilterSettings d = engine::DefaultSettings();
    EXPECT_EQ(d.sh, -2);
    EXPECT_EQ(d.sm, 2);
    EXPECT_EQ(d.smu, 0);
    EXPECT_TRUE(d.c4);
    EXPECT_FALSE(d.useclip);
}

TEST(Arguments, ReadSettingsTakesWhatIsGivenAndKeepsWideIntegersOutOfRange) {
    const engine::FilterSettings s = engine::ReadSettings(
        [](int index, const engine::ArgumentRule&) -> std::optional<int64_t> {
            switch (index) {
                case engine::kArgSm: return int64_t{4294967298};  // 2^32 + 2: not 2
                case engine::kArgSh: return int64_t{-4294967296};
                case engine::kArgC4: return 0;
                case engine::kArgSmu: return 7;
                default: return std::nullopt;
            }
        });
    EXPECT_EQ(s.sm, INT_MAX);
    EXPECT_EQ(s.sh, INT_MIN);
    EXPECT_FALSE(s.c4);
    EXPECT_EQ(s.smu, 7);
    EXPECT_EQ(s.smv, 0);
    EXPECT_FALSE(s.useclip);
    EXPECT_STREQ(Check(Facts(engine::kYuv420, 8, 8), s),
                 "BasinLift: RGB or Y sharpening factor sh must be between -10 and 10");
}

TEST(Formats, ListsReadAsSentences) {
    EXPECT_EQ(engine::JoinList({}), "");
    EXPECT_EQ(engine::JoinList({"a"}), "a");
    EXPECT_EQ(engine::JoinList({"a", "b"}), "a and b");
    EXPECT_EQ(engine::JoinList({"a", "b", "c"}, " or "), "a, b or c");
}

}  // namespace
