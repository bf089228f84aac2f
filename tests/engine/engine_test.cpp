// The engine on its own: every format's plan writes each destination row byte once and nothing
// beyond, each plane or channel comes out as a channel pass of that plane alone with its factor
// (or as a copy), and the checks treat the formats beyond the classic ones sensibly.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "arguments.h"
#include "frame_render.h"
#include "reference_pass.h"

namespace {

struct FormatCase {
    const char* name;
    const engine::PixelFormat* format;
    int width, height;
};

const FormatCase kFormats[] = {
    {"BGR24", &engine::kBgr24, 13, 7},   {"BGR32", &engine::kBgr32, 13, 7},
    {"YUY2", &engine::kYuy2, 14, 7},     {"YUV420", &engine::kYuv420, 14, 8},
    {"YUV422", &engine::kYuv422, 14, 7}, {"YUV444", &engine::kYuv444, 13, 7},
    {"YUV411", &engine::kYuv411, 16, 7}, {"YUV410", &engine::kYuv410, 16, 8},
    {"Gray", &engine::kGray, 13, 7},     {"RGBP", &engine::kRgbPlanar, 13, 7},
    {"RGBAP", &engine::kRgbaPlanar, 13, 7},
};

constexpr int kPadding = 5;  // bytes after every row, which nothing may write

// The frames of one call, each plane with a padded pitch in its own buffer.
struct Frame {
    Frame(const engine::PixelFormat& format, int width, int height, uint8_t fill) {
        for (int p = 0; p < engine::PlaneCount(format); ++p) {
            const bool chroma = format.layout == engine::Layout::PlanarYuv && p > 0;
            rowBytes.push_back(chroma ? width >> format.chromaShiftX : width * format.samplesPerPixel);
            rows.push_back(chroma ? height >> format.chromaShiftY : height);
            planes.emplace_back(static_cast<size_t>((rowBytes.back() + kPadding) * rows.back()), fill);
        }
    }
    int pitch(size_t p) const { return rowBytes[p] + kPadding; }
    uint8_t& at(size_t p, int x, int y) { return planes[p][static_cast<size_t>(y * pitch(p) + x)]; }
    void Randomise(uint32_t seed) {
        std::mt19937 random(seed);
        for (auto& plane : planes)
            for (uint8_t& byte : plane) byte = static_cast<uint8_t>(random() % 6 * 40 + random() % 8);
    }

    std::vector<int> rowBytes, rows;
    std::vector<std::vector<uint8_t>> planes;
};

void Render(const engine::FramePlan& plan, Frame& dst, Frame& src, Frame& seg) {
    engine::WorkingBuffers buffers(plan.Width(), plan.Height());
    engine::FrameRefs refs{};
    for (size_t p = 0; p < dst.planes.size(); ++p) {
        refs.dst[p] = {dst.planes[p].data(), dst.pitch(p)};
        refs.src[p] = {src.planes[p].data(), src.pitch(p)};
        refs.seg[p] = {seg.planes[p].data(), seg.pitch(p)};
    }
    engine::RenderFrame(plan, buffers, refs);
}

engine::FilterSettings Settings(int sh, int sm, int smu, int smv, bool useclip = false) {
    engine::FilterSettings s = engine::DefaultSettings();
    s.sh = sh, s.sm = sm, s.smu = smu, s.smv = smv, s.useclip = useclip;
    return s;
}

TEST(FramePlan, EveryFormatWritesEachRowByteOnceAndNothingBeyond) {
    for (const FormatCase& f : kFormats)
        for (const engine::FilterSettings& s : {Settings(2, 3, 2, 0), Settings(0, 0, 0, 4)}) {
            if (engine::IsRgb(*f.format) && s.sm == 0 && s.sh == 0) continue;  // refused
            SCOPED_TRACE(std::string(f.name) + " sm " + std::to_string(s.sm));
            const engine::FramePlan plan(*f.format, f.width, f.height, s);
            Frame src(*f.format, f.width, f.height, 0);
            src.Randomise(7);
            // Two runs over different junk: a byte that differs between them was never written.
            Frame a(*f.format, f.width, f.height, 0x11), b(*f.format, f.width, f.height, 0xEE);
            Render(plan, a, src, src);
            Render(plan, b, src, src);
            for (size_t p = 0; p < a.planes.size(); ++p)
                for (int y = 0; y < a.rows[p]; ++y)
                    for (int x = 0; x < a.pitch(p); ++x) {
                        if (x < a.rowBytes[p])
                            ASSERT_EQ(a.at(p, x, y), b.at(p, x, y)) << "unwritten: plane " << p << " " << x << "," << y;
                        else
                            ASSERT_EQ(a.at(p, x, y), 0x11) << "padding written: plane " << p;
                    }
        }
}

// A channel pass of one channel alone, as the plain reference computes it.
std::vector<uint8_t> ChannelPass(Frame& src, Frame& seg, size_t plane, int offset, int step,
                                 int width, int height, int factor, int sh) {
    std::vector<uint8_t> out(static_cast<size_t>(width) * height);
    const auto view = [&](Frame& f) {
        return PlaneView<const uint8_t>{f.planes[plane].data() + offset, f.pitch(plane), step,
                                        width, height};
    };
    reference::ChannelPass(PlaneView<uint8_t>{out.data(), width, 1, width, height}, view(src),
                           view(seg), kEightBit, factor, sh, true);
    return out;
}

std::vector<uint8_t> ChannelOf(Frame& f, size_t plane, int offset, int step, int width, int height) {
    std::vector<uint8_t> values;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) values.push_back(f.at(plane, offset + x * step, y));
    return values;
}

// What each format's channels are, written out independently of the plan: the plane, the
// channel's place in it, and its factor; 0 for a chroma channel or alpha means a copy.
struct Channel {
    size_t plane;
    int offset, step, width, height, factor;
};

std::vector<Channel> ChannelsOf(const FormatCase& f, int sm, int smu, int smv) {
    const engine::PixelFormat& format = *f.format;
    const int w = f.width, h = f.height;
    switch (format.layout) {
        case engine::Layout::PackedBgr: {
            const int step = format.samplesPerPixel;
            std::vector<Channel> c = {{0, 0, step, w, h, sm}, {0, 1, step, w, h, sm}, {0, 2, step, w, h, sm}};
            if (format.alpha) c.push_back({0, 3, step, w, h, 0});
            return c;
        }
        case engine::Layout::PackedYuy2:
            return {{0, 0, 2, w, h, sm}, {0, 1, 4, w / 2, h, smu}, {0, 3, 4, w / 2, h, smv}};
        case engine::Layout::PlanarYuv: {
            const int cw = w >> format.chromaShiftX, ch = h >> format.chromaShiftY;
            return {{0, 0, 1, w, h, sm}, {1, 0, 1, cw, ch, smu}, {2, 0, 1, cw, ch, smv}};
        }
        case engine::Layout::PlanarRgb: {
            std::vector<Channel> c = {{0, 0, 1, w, h, sm}, {1, 0, 1, w, h, sm}, {2, 0, 1, w, h, sm}};
            if (format.alpha) c.push_back({3, 0, 1, w, h, 0});
            return c;
        }
        case engine::Layout::Gray: return {{0, 0, 1, w, h, sm}};
    }
    return {};
}

TEST(RenderFrame, EachChannelIsAPassOfItselfWithItsFactorOrACopy) {
    const int sh = -4, sm = 5, smu = 3, smv = 0;  // V is copied
    for (const FormatCase& f : kFormats)
        for (bool useclip : {false, true}) {
            SCOPED_TRACE(std::string(f.name) + (useclip ? " useclip" : ""));
            const engine::FramePlan plan(*f.format, f.width, f.height, Settings(sh, sm, smu, smv, useclip));
            Frame src(*f.format, f.width, f.height, 0), seg(*f.format, f.width, f.height, 0),
                dst(*f.format, f.width, f.height, 0);
            src.Randomise(1);
            seg.Randomise(2);
            Frame& regions = useclip ? seg : src;
            Render(plan, dst, src, regions);
            for (const Channel& c : ChannelsOf(f, sm, smu, smv)) {
                const auto expected =
                    c.factor == 0 ? ChannelOf(src, c.plane, c.offset, c.step, c.width, c.height)
                                  : ChannelPass(src, regions, c.plane, c.offset, c.step, c.width,
                                                c.height, c.factor, sh);
                EXPECT_EQ(ChannelOf(dst, c.plane, c.offset, c.step, c.width, c.height), expected)
                    << "plane " << c.plane << " offset " << c.offset;
            }
        }
}

engine::ClipFacts Facts(const engine::PixelFormat& format, int width, int height) {
    return {&format, width, height, 10};
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
    // YUV with only chroma smoothing changes the chroma: accepted.
    EXPECT_EQ(Check(Facts(engine::kYuv444, 8, 8), Settings(0, 0, 3, 0)), nullptr);
    EXPECT_STREQ(Check(Facts(engine::kYuv444, 8, 8), Settings(0, 0, 0, 0)),
                 "BasinLift: sh, sm, smu and smv  values are zero");
    // Sizes must divide into whole chroma samples.
    EXPECT_STREQ(Check(Facts(engine::kYuv420, 8, 7), Settings(1, 1, 0, 0)),
                 "BasinLift: YUY2 needs an even width, YV12 and I420 an even width and height");
    EXPECT_STREQ(Check(Facts(engine::kYuv411, 6, 8), Settings(1, 1, 0, 0)),
                 "BasinLift: the width and height must divide by the chroma subsampling of the format");
    EXPECT_STREQ(Check(Facts(engine::kYuv410, 8, 6), Settings(1, 1, 0, 0)),
                 "BasinLift: the width and height must divide by the chroma subsampling of the format");
    EXPECT_EQ(Check(Facts(engine::kYuv410, 8, 4), Settings(1, 1, 0, 0)), nullptr);
    EXPECT_EQ(Check(Facts(engine::kYuv444, 7, 5), Settings(1, 1, 0, 0)), nullptr);
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
        [](int index, const engine::ArgumentSpec&) -> std::optional<int64_t> {
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

}  // namespace
