// The engine on its own: every format's plan writes each destination row byte once and nothing
// beyond, each plane or channel comes out as a channel pass of that plane alone with its factor
// (or as a copy), and the checks treat the formats beyond the classic ones sensibly.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "arguments.h"
#include "basinlift_core.h"
#include "frame_render.h"

namespace {

struct FormatCase {
    const char* name;
    const engine::VideoFormat* format;
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
    Frame(const engine::VideoFormat& format, int width, int height, uint8_t fill) {
        for (int p = 0; p < engine::PlaneCount(format); ++p) {
            const bool chroma = format.layout == engine::Layout::PlanarYuv && p > 0;
            rowBytes.push_back(chroma ? width >> format.chromaShiftX : width * format.bytesPerPixel);
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

// A channel pass of one channel alone, through the core, as the reference.
std::vector<uint8_t> ChannelPass(Frame& src, Frame& seg, size_t plane, int offset, int step,
                                 int width, int height, int factor, int sh, bool useclip) {
    const size_t n = static_cast<size_t>(width) * height;
    std::vector<uint8_t> channel(n), boundary(n), out(n * static_cast<size_t>(step));
    std::vector<PixelRef> order(n);
    std::vector<int32_t> label(n), dist(n);
    SortPixels(channel.data(), width, seg.planes[plane].data() + offset, seg.pitch(plane), step,
               width, height, order.data());
    Watershed(order.data(), channel.data(), label.data(), dist.data(), boundary.data(), height,
              width, true);
    const uint8_t* from = src.planes[plane].data() + offset;
    if (useclip) ExtractChannel(channel.data(), width, from, src.pitch(plane), step, width, height);
    EnhanceChannel(out.data(), width * step, from, src.pitch(plane), step, width, height,
                   channel.data(), label.data(), boundary.data(), width, factor, sh);
    std::vector<uint8_t> packed(n);
    for (size_t i = 0; i < n; ++i) packed[i] = out[i * static_cast<size_t>(step)];
    return packed;
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
    const engine::VideoFormat& format = *f.format;
    const int w = f.width, h = f.height;
    switch (format.layout) {
        case engine::Layout::PackedBgr: {
            const int step = format.bytesPerPixel;
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
                                                c.height, c.factor, sh, useclip);
                EXPECT_EQ(ChannelOf(dst, c.plane, c.offset, c.step, c.width, c.height), expected)
                    << "plane " << c.plane << " offset " << c.offset;
            }
        }
}

engine::ClipFacts Facts(const engine::VideoFormat& format, int width, int height) {
    return {&format, width, height, 10};
}

const char* Check(const engine::ClipFacts& facts, const engine::FilterSettings& s) {
    return engine::FirstFailedCheck(facts, s, engine::SclipFacts{});
}

TEST(Checks, FormatsBeyondTheClassicOnesFollowTheirFamily) {
    // Planar RGB is RGB: nothing to do refused, smu and smv not looked at.
    EXPECT_STREQ(Check(Facts(engine::kRgbPlanar, 8, 8), Settings(0, 0, 50, -3)),
                 "BasinLift: sh and sm both can not be zero");
    EXPECT_EQ(Check(Facts(engine::kRgbaPlanar, 8, 8), Settings(0, 1, 50, -3)), nullptr);
    // Grey is luma alone, checked as YUV.
    EXPECT_STREQ(Check(Facts(engine::kGray, 8, 8), Settings(0, 0, 0, 0)),
                 "BasinLift: sh, sm, smu and smv  values are zero");
    EXPECT_STREQ(Check(Facts(engine::kGray, 8, 8), Settings(1, 1, 11, 0)),
                 "BasinLift: u smoothening factor smu must be between 0 and 10");
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

TEST(Arguments, EveryHostsSignatureAndTheHelpComeFromTheTable) {
    EXPECT_STREQ(engine::kAvisynthSignature, "c[sh]i[sm]i[c4]b[useclip]b[sclip]c[smu]i[smv]i");
    EXPECT_EQ(engine::VapourSynthSignature(),
              "clip:vnode;sh:int:opt;sm:int:opt;c4:int:opt;sclip:vnode:opt;smu:int:opt;smv:int:opt;");
    const std::string help = engine::ArgumentHelp();
    for (const char* line : {"sh (int, -10 to 10, default -2)", "sm (int, 0 to 10, default 2)",
                             "c4 (bool, default true)", "useclip (bool, default false)",
                             "sclip (clip)", "smu (int, 0 to 10 for YUV, default 0)"})
        EXPECT_NE(help.find(line), std::string::npos) << line;
    const engine::FilterSettings d = engine::DefaultSettings();
    EXPECT_EQ(d.sh, -2);
    EXPECT_EQ(d.sm, 2);
    EXPECT_TRUE(d.c4);
    EXPECT_FALSE(d.useclip);
}

}  // namespace
