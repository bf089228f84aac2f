// The plug-in inside the real VapourSynth: vs_host runs the calls of cases.txt in a child
// process and writes down what the host gave; this compares it with the engine on the same
// planes (every format), with the command-line tool (8-bit 4:2:0 and 4:2:2 here; vspipe's
// output of more formats is compared with it in python/), between one thread and many, and with
// the refusal texts scripts must see.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "arguments.h"
#include "case_file.h"
#include "format_names.h"
#include "frame_render.h"

namespace {

// ---- The cases and what the host wrote --------------------------------------------------------

using hosttest::Case;
using hosttest::Split;

std::vector<Case> ReadCases() { return hosttest::ReadCases(BASINLIFT_VS_CASES); }

bool Refused(const Case& c) { return c.name.rfind("refuse_", 0) == 0 || c.name.rfind("host_", 0) == 0; }

using hosttest::Exists;
using hosttest::ReadFile;

// Runs the host program once per test process; the directory holds what it wrote.
const std::string& HostOutput() {
    static const std::string dir = [] {
        const std::string out = std::string(BASINLIFT_VS_OUT) + "/host";
        const std::string command = "rm -rf '" + out + "' && mkdir -p '" + out + "' && '" +
                                    BASINLIFT_VS_HOST + "' '" + BASINLIFT_VS_PLUGIN + "' '" +
                                    BASINLIFT_VS_CASES + "' '" + out + "'";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return out;
    }();
    return dir;
}
std::string Result(const Case& c, const std::string& what) {
    return HostOutput() + "/" + c.name + "." + what;
}

// ---- Frames -----------------------------------------------------------------------------------

// The engine's format of a VapourSynth format, from its name, independently of the plug-in's
// own table; nullopt for one the plug-in refuses (half floats).
std::optional<engine::VideoFormat> EngineFormat(const std::string& name) {
    const std::optional<vstest::FormatParts> parts = vstest::ParseFormatName(name);
    if (!parts || (parts->isFloat && parts->bits != 32)) return std::nullopt;
    const engine::SampleFormat samples =
        parts->isFloat ? engine::kFloatSamples : engine::IntegerSamples(parts->bits);
    if (parts->colorFamily == vstest::kGrayFamily) return engine::VideoFormat{&engine::kGray, samples};
    if (parts->colorFamily == vstest::kRgbFamily) return engine::VideoFormat{&engine::kRgbPlanar, samples};
    for (const engine::PixelFormat* format : engine::kPixelFormats)
        if (format->layout == engine::Layout::PlanarYuv && !format->alpha &&
            format->chromaShiftX == parts->subSamplingW && format->chromaShiftY == parts->subSamplingH)
            return engine::VideoFormat{format, samples};
    return std::nullopt;
}

// A clip as vs_host writes it: every frame's planes, rows without padding.
struct Frames {
    std::string format;
    int width = 0, height = 0, count = 0;
    std::string bytes;
    bool Valid() const { return width > 0; }
    engine::VideoFormat Format() const {
        const std::optional<engine::VideoFormat> known = EngineFormat(format);
        if (!known) throw std::runtime_error("not a format the plug-in takes: " + format);
        return *known;
    }
};

Frames ReadFrames(const std::string& path) {
    Frames f;
    std::string fields;
    if (!hosttest::ReadFramesFile(path, fields, f.bytes)) return Frames{};
    std::istringstream(fields) >> f.format >> f.width >> f.height >> f.count;
    return f;
}

// A plane's row in bytes and its rows.
struct PlaneSize {
    int rowBytes, height;
    size_t Bytes() const { return static_cast<size_t>(rowBytes) * static_cast<size_t>(height); }
};

std::vector<PlaneSize> PlaneSizes(const Frames& f) {
    const engine::VideoFormat format = f.Format();
    std::vector<PlaneSize> sizes;
    for (int p = 0; p < engine::PlaneCount(*format.pixels); ++p)
        sizes.push_back({engine::PlaneWidth(*format.pixels, p, f.width) * format.samples.Bytes(),
                         engine::PlaneHeight(*format.pixels, p, f.height)});
    return sizes;
}

// ---- What the engine makes of the same planes -------------------------------------------------

// The arguments as the plug-in reads them: given sclip means segmenting on it.
engine::FilterSettings SettingsOf(const std::string& arguments) {
    engine::FilterSettings settings =
        engine::ReadSettings([&](int, const engine::ArgumentRule& argument) {
            std::optional<int64_t> given;
            for (const std::string& word : Split(arguments, ',')) {
                const size_t eq = word.find('=');
                if (eq != std::string::npos && word.substr(0, eq) == argument.name)
                    given = std::stoll(word.substr(eq + 1));
            }
            return given;
        });
    settings.useclip = arguments.find("sclip=") != std::string::npos;
    return settings;
}

std::string EngineOutput(const Frames& source, const Frames* sclip, const std::string& arguments) {
    const engine::FilterSettings settings = SettingsOf(arguments);
    const engine::VideoFormat format = source.Format();
    const engine::FramePlan plan(format, source.width, source.height, settings);
    const engine::WorkingBuffers buffers(source.width, source.height, format.samples);
    std::string out(source.bytes.size(), '\0');
    size_t at = 0;
    for (int n = 0; n < source.count; ++n) {
        engine::FrameRefs frame{};
        int p = 0;
        for (const PlaneSize& size : PlaneSizes(source)) {
            const auto* src = reinterpret_cast<const uint8_t*>(source.bytes.data() + at);
            const auto* seg = sclip ? reinterpret_cast<const uint8_t*>(sclip->bytes.data() + at) : src;
            frame.src[p] = {src, size.rowBytes};
            frame.seg[p] = {seg, size.rowBytes};
            frame.dst[p] = {reinterpret_cast<uint8_t*>(&out[at]), size.rowBytes};
            at += size.Bytes();
            ++p;
        }
        engine::RenderFrame(plan, buffers, frame);
    }
    return out;
}

// ---- What the command-line tool makes of the same input ---------------------------------------

// YUV4MPEG2 keeps the planes as the host does, one after the other, so a frame goes across as
// it is.
std::string ToY4m(const Frames& f) {
    std::string out = "YUV4MPEG2 W" + std::to_string(f.width) + " H" + std::to_string(f.height) +
                      " F25:1 Ip A1:1 " + (f.format == "YUV420P8" ? "C420jpeg" : "C422") + "\n";
    const size_t frameBytes = f.bytes.size() / static_cast<size_t>(f.count);
    for (int n = 0; n < f.count; ++n)
        out += "FRAME\n" + f.bytes.substr(static_cast<size_t>(n) * frameBytes, frameBytes);
    return out;
}

// The frames of the tool's output, each frameBytes long, one after the other.
std::string FromY4m(const std::string& text, size_t frameBytes) {
    std::string out;
    for (size_t at = text.find('\n') + 1; text.compare(at, 5, "FRAME") == 0;) {
        at = text.find('\n', at) + 1;
        if (at == 0 || at + frameBytes > text.size()) break;
        out += text.substr(at, frameBytes);
        at += frameBytes;
    }
    return out;
}

std::string ToolOutput(const Case& c, const Frames& source, const Frames* sclip) {
    const std::string dir = std::string(BASINLIFT_VS_OUT) + "/tool";
    const std::string in = dir + "/" + c.name + ".in.y4m", out = dir + "/" + c.name + ".out.y4m";
    EXPECT_EQ(std::system(("mkdir -p '" + dir + "'").c_str()), 0);
    std::ofstream(in, std::ios::binary) << ToY4m(source);
    std::string command = std::string("'") + BASINLIFT_TOOL + "' --quiet '" + in + "' '" + out + "'";
    for (const std::string& word : Split(c.arguments, ',')) {
        if (word == "sclip=@sclip") {
            const std::string seg = dir + "/" + c.name + ".sclip.y4m";
            std::ofstream(seg, std::ios::binary) << ToY4m(*sclip);
            command += " useclip=true 'sclip=" + seg + "'";
        } else if (word == "c4=0" || word == "c4=1") {
            command += word == "c4=0" ? " c4=false" : " c4=true";
        } else if (!word.empty()) {
            command += " '" + word + "'";
        }
    }
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return FromY4m(ReadFile(out), source.bytes.size() / static_cast<size_t>(source.count));
}

// ---- The checks -------------------------------------------------------------------------------

struct HostRun {
    Frames clip, sclip, out;
};

HostRun ReadRun(const Case& c) {
    return {ReadFrames(Result(c, "clip.frames")), ReadFrames(Result(c, "sclip.frames")),
            ReadFrames(Result(c, "out.frames"))};
}

// Fewer than this many calls that give frames would mean cases.txt lost some, or the host ran
// none; the checks below would then pass on what is left.
constexpr int kFilteringCases = 20;

TEST(RealVapourSynth, EveryFormatGivesTheEnginesFrames) {
    std::set<std::string> formats;
    int compared = 0;
    for (const Case& c : ReadCases()) {
        if (Refused(c)) continue;
        SCOPED_TRACE(c.name);
        const HostRun run = ReadRun(c);
        ASSERT_TRUE(run.out.Valid()) << ReadFile(Result(c, "out.error"));
        ASSERT_EQ(run.out.format, run.clip.format);
        ASSERT_EQ(run.out.bytes.size(), run.clip.bytes.size());
        EXPECT_TRUE(run.out.bytes ==
                    EngineOutput(run.clip, run.sclip.Valid() ? &run.sclip : nullptr, c.arguments));
        formats.insert(run.out.format);
        ++compared;
    }
    // Gray, every YUV subsampling and RGB at 8 bits, and other depths of several.
    EXPECT_GE(formats.size(), 20u);
    EXPECT_GE(compared, kFilteringCases);
}

TEST(RealVapourSynth, YuvFramesEqualTheTools) {
    int compared = 0;
    for (const Case& c : ReadCases()) {
        const HostRun run = ReadRun(c);
        if (Refused(c) || (run.clip.format != "YUV420P8" && run.clip.format != "YUV422P8")) continue;
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(run.out.Valid()) << ReadFile(Result(c, "out.error"));
        EXPECT_TRUE(run.out.bytes == ToolOutput(c, run.clip, run.sclip.Valid() ? &run.sclip : nullptr));
        ++compared;
    }
    EXPECT_GE(compared, 8);
}

TEST(RealVapourSynth, EveryDepthGivesTheEightBitFramesScaled) {
    int compared = 0;
    for (const Case& c : ReadCases()) {
        hosttest::DepthCase depth;
        if (!hosttest::DepthOf(c.name, depth)) continue;
        SCOPED_TRACE(c.name);
        Case base = c;
        base.name = depth.base;
        const Frames out = ReadFrames(Result(c, "out.frames"));
        const Frames bytes = ReadFrames(Result(base, "out.frames"));
        ASSERT_TRUE(out.Valid()) << ReadFile(Result(c, "out.error"));
        ASSERT_TRUE(bytes.Valid());
        const engine::VideoFormat format = out.Format();
        const std::vector<PlaneSize> sizes = PlaneSizes(bytes);
        std::vector<hosttest::PlaneSamples> planes;
        for (size_t p = 0; p < sizes.size(); ++p)
            planes.push_back({sizes[p].Bytes(), format.pixels->layout == engine::Layout::PlanarYuv && p > 0});
        EXPECT_EQ(hosttest::CompareScaled(out.bytes, bytes.bytes, planes, depth.bits), "");
        ++compared;
    }
    EXPECT_GE(compared, 12);
}

TEST(RealVapourSynth, FramesRequestedAtOnceOnSeveralThreadsEqualOneThreads) {
    int compared = 0;
    for (const Case& c : ReadCases()) {
        if (Refused(c)) continue;
        SCOPED_TRACE(c.name);
        const Frames out = ReadFrames(Result(c, "out.frames"));
        const Frames parallel = ReadFrames(Result(c, "parallel.frames"));
        ASSERT_TRUE(out.Valid()) << ReadFile(Result(c, "out.error"));
        ASSERT_TRUE(parallel.Valid()) << ReadFile(Result(c, "parallel.error"));
        EXPECT_TRUE(parallel.bytes == out.bytes);
        ++compared;
    }
    EXPECT_GE(compared, kFilteringCases);
}

// "n: p q" for each frame, the planes the engine leaves alone.
std::string ExpectedSharedPlanes(const Case& c, const Frames& clip) {
    const engine::FramePlan plan(clip.Format(), clip.width, clip.height, SettingsOf(c.arguments));
    std::string planes;
    for (int p = 0; p < engine::PlaneCount(plan.Pixels()); ++p)
        if (!plan.PlaneProcessed(p)) planes += " " + std::to_string(p);
    std::string lines;
    for (int n = 0; n < clip.count; ++n) lines += std::to_string(n) + ":" + planes + "\n";
    return lines;
}

TEST(RealVapourSynth, UnprocessedPlanesAreTheSourcesAndPropertiesPassThrough) {
    int withShared = 0;
    for (const Case& c : ReadCases()) {
        if (Refused(c)) continue;
        SCOPED_TRACE(c.name);
        const Frames clip = ReadFrames(Result(c, "clip.frames"));
        ASSERT_TRUE(clip.Valid());
        const std::string expected = ExpectedSharedPlanes(c, clip);
        EXPECT_EQ(ReadFile(Result(c, "out.shared")), expected);
        if (expected.find(": ") != std::string::npos) ++withShared;
        const std::string props = ReadFile(Result(c, "clip.props"));
        EXPECT_NE(props.find("BasinLiftTestFrame=0"), std::string::npos);
        EXPECT_EQ(ReadFile(Result(c, "out.props")), props);
    }
    EXPECT_GE(withShared, 8);
}

const char kSclipDiffers[] =
    "BasinLift: The two clips have either dissimilar color format orunequal frame dimensions or "
    "unequal number of frames";
const char kTaken[] = "Gray, YUV420, YUV422, YUV444, YUV440, YUV411, YUV410 or RGB with integer "
                      "samples of 8 to 16 bits or 32-bit float samples";
const std::map<std::string, std::string> kRefusals = {
    {"refuse_sh", "BasinLift: RGB or Y sharpening factor sh must be between -10 and 10"},
    {"refuse_sh_before_sm", "BasinLift: RGB or Y sharpening factor sh must be between -10 and 10"},
    {"refuse_sm", "BasinLift: RGB or Y smoothening factor sm must be between 0 and 10"},
    {"refuse_rgb_nothing", "BasinLift: sh and sm both can not be zero"},
    {"refuse_yuv_nothing", "BasinLift: sh, sm, smu and smv  values are zero"},
    {"refuse_sclip_identical", "BasinLift:clip to be smoothed and sclip must not be identical"},
    {"refuse_sclip_size", std::string(kSclipDiffers) +
                              " (clip: YUV420P8 16x16, 2 frames; sclip: YUV420P8 16x14, 2 frames)"},
    {"refuse_sclip_length", std::string(kSclipDiffers) +
                                " (clip: YUV420P8 16x16, 2 frames; sclip: YUV420P8 16x16, 3 frames)"},
    {"refuse_sclip_format", std::string(kSclipDiffers) +
                                " (clip: YUV420P8 16x16, 2 frames; sclip: YUV422P8 16x16, 2 frames)"},
    {"refuse_sclip_variable_format",
     std::string(kSclipDiffers) +
         " (clip: YUV420P8 16x16, 2 frames; sclip: variable format 16x16, 2 frames)"},
    {"refuse_sclip_variable_size",
     std::string(kSclipDiffers) +
         " (clip: YUV420P8 16x16, 2 frames; sclip: YUV420P8 variable size, 2 frames)"},
    {"refuse_sm_before_smu", "BasinLift: RGB or Y smoothening factor sm must be between 0 and 10"},
    {"refuse_smv", "BasinLift: v smoothening factor smv must be between 0 and 10"},
    {"refuse_smu_beyond_int", "BasinLift: u smoothening factor smu must be between 0 and 10"},
    {"refuse_c4", "BasinLift: c4 must be 0 (8-connected regions) or 1 (4-connected), not 2"},
    {"refuse_c4_beyond_int",
     "BasinLift: c4 must be 0 (8-connected regions) or 1 (4-connected), not 4294967297"},
    // Every range is checked on every format, RGB too, where smu and smv change nothing.
    {"refuse_rgb24_chroma_factor", "BasinLift: u smoothening factor smu must be between 0 and 10"},
    // Grey has no U or V: a chroma factor cannot make a call on it change anything.
    {"refuse_gray_nothing",
     "BasinLift: sh and sm both can not be zero; a clip of Y alone has no U and V for smu and smv"},
    {"refuse_variable_format",
     "BasinLift: the clip's format varies from frame to frame; it needs one format"},
    {"refuse_variable_size",
     "BasinLift: the clip's frame size varies from frame to frame; it needs one size"},
    {"refuse_odd_width",
     "BasinLift: YUV420P8 needs a width divisible by 2 and a height divisible by 2, not 15x16"},
    {"refuse_odd_411", "BasinLift: YUV411P8 needs a width divisible by 4, not 46x20"},
    {"refuse_half_float", std::string("BasinLift: YUV444PH is not supported; it takes ") + kTaken},
    {"refuse_gray_half_float", std::string("BasinLift: GrayH is not supported; it takes ") + kTaken},
    {"refuse_too_large", "BasinLift: the frame is too large for the working buffers"},
    {"host_no_clip", "BasinLift: argument clip is required"},
    {"host_unknown_name", "BasinLift: no argument(s) named foo"},
    {"host_no_useclip", "BasinLift: no argument(s) named useclip"},
    {"host_float_for_int", "BasinLift: argument sh is not of the correct type"},
    {"host_text_for_int", "BasinLift: argument sm is not of the correct type"},
    {"host_int_for_clip", "BasinLift: argument sclip is not of the correct type"},
    {"host_two_values",
     "BasinLift: argument sh is not of array type but more than one value was supplied"},
};

TEST(RealVapourSynth, RefusalsReachTheCallerUnchanged) {
    int refused = 0;
    for (const Case& c : ReadCases()) {
        if (!Refused(c)) continue;
        SCOPED_TRACE(c.name);
        const auto expected = kRefusals.find(c.name);
        ASSERT_NE(expected, kRefusals.end()) << "no expected refusal";
        EXPECT_EQ(ReadFile(Result(c, "out.error")), expected->second);
        EXPECT_FALSE(Exists(Result(c, "out.frames")));
        ++refused;
    }
    EXPECT_EQ(refused, static_cast<int>(kRefusals.size()));
}

TEST(RealVapourSynth, RegistersOneFunctionUnderItsIdentifierAndNamespace) {
    EXPECT_EQ(ReadFile(HostOutput() + "/plugin.txt"),
              "id=com.basinlift.basinlift\nnamespace=basinlift\n"
              "name=BasinLift: smoothing within watershed regions\n"
              "function=BasinLift(clip:vnode;sh:int:opt;sm:int:opt;c4:int:opt;sclip:vnode:opt;"
              "smu:int:opt;smv:int:opt;) -> clip:vnode;\n");
}

}  // namespace
