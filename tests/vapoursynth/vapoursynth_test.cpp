// The plug-in inside the real VapourSynth: vs_host runs the calls of cases.txt in a child
// process and writes down what the host gave; this compares it with the engine on the same
// planes (every format), with the command-line tool through the classic plug-in (4:2:0 and
// 4:2:2, which the tool reads as Y4M), between one thread and many, and with the refusal texts
// scripts must see.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "arguments.h"
#include "case_file.h"
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

struct HostFormat {
    const char* name;
    const engine::VideoFormat* format;
};
const HostFormat kFormats[] = {
    {"Gray8", &engine::kGray},       {"YUV420P8", &engine::kYuv420}, {"YUV422P8", &engine::kYuv422},
    {"YUV444P8", &engine::kYuv444},  {"YUV411P8", &engine::kYuv411}, {"YUV410P8", &engine::kYuv410},
    {"RGB24", &engine::kRgbPlanar},
};

// A clip as vs_host writes it: every frame's planes, rows without padding.
struct Frames {
    std::string format;
    int width = 0, height = 0, count = 0;
    std::string bytes;
    bool valid() const { return width > 0; }
    const engine::VideoFormat& engineFormat() const {
        for (const HostFormat& f : kFormats)
            if (format == f.name) return *f.format;
        throw std::runtime_error("not a format the plug-in takes: " + format);
    }
};

Frames ReadFrames(const std::string& path) {
    Frames f;
    std::string fields;
    if (!hosttest::ReadFramesFile(path, fields, f.bytes)) return Frames{};
    std::istringstream(fields) >> f.format >> f.width >> f.height >> f.count;
    return f;
}

struct PlaneSize {
    int width, height;
    size_t bytes() const { return static_cast<size_t>(width) * static_cast<size_t>(height); }
};

std::vector<PlaneSize> PlaneSizes(const Frames& f) {
    const engine::VideoFormat& format = f.engineFormat();
    std::vector<PlaneSize> sizes;
    for (int p = 0; p < engine::PlaneCount(format); ++p) {
        const bool chroma = format.layout == engine::Layout::PlanarYuv && p > 0;
        sizes.push_back({chroma ? f.width >> format.chromaShiftX : f.width,
                         chroma ? f.height >> format.chromaShiftY : f.height});
    }
    return sizes;
}

// ---- What the engine makes of the same planes -------------------------------------------------

// The arguments as the plug-in reads them: given sclip means segmenting on it.
engine::FilterSettings SettingsOf(const std::string& arguments) {
    engine::FilterSettings settings = engine::DefaultSettings();
    for (const std::string& word : Split(arguments, ',')) {
        const size_t eq = word.find('=');
        if (eq == std::string::npos) continue;
        const std::string name = word.substr(0, eq), value = word.substr(eq + 1);
        if (name == "sclip") {
            settings.useclip = true;
            continue;
        }
        for (const engine::ArgumentSpec& argument : engine::kArguments)
            if (name == argument.name) engine::SetArgument(settings, argument, std::stoi(value));
    }
    return settings;
}

std::string EngineOutput(const Frames& source, const Frames* sclip, const std::string& arguments) {
    const engine::FilterSettings settings = SettingsOf(arguments);
    const engine::FramePlan plan(source.engineFormat(), source.width, source.height, settings);
    engine::WorkingBuffers buffers(source.width, source.height);
    std::string out(source.bytes.size(), '\0');
    size_t at = 0;
    for (int n = 0; n < source.count; ++n) {
        engine::FrameRefs frame{};
        int p = 0;
        for (const PlaneSize& size : PlaneSizes(source)) {
            const auto* src = reinterpret_cast<const uint8_t*>(source.bytes.data() + at);
            const auto* seg = sclip ? reinterpret_cast<const uint8_t*>(sclip->bytes.data() + at) : src;
            frame.src[p] = {src, size.width};
            frame.seg[p] = {seg, size.width};
            frame.dst[p] = {reinterpret_cast<uint8_t*>(&out[at]), size.width};
            at += size.bytes();
            ++p;
        }
        engine::RenderFrame(plan, buffers, frame);
    }
    return out;
}

// ---- What the command-line tool makes of the same input ---------------------------------------

// YUV4MPEG2 keeps the planes as the host does, one after the other, so a frame goes across as
// it is. The tool filters 4:2:0 as I420 and 4:2:2 as packed YUY2, through the classic plug-in.
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
        ASSERT_TRUE(run.out.valid()) << ReadFile(Result(c, "out.error"));
        ASSERT_EQ(run.out.format, run.clip.format);
        ASSERT_EQ(run.out.bytes.size(), run.clip.bytes.size());
        EXPECT_TRUE(run.out.bytes ==
                    EngineOutput(run.clip, run.sclip.valid() ? &run.sclip : nullptr, c.arguments));
        formats.insert(run.out.format);
        ++compared;
    }
    EXPECT_EQ(formats.size(), sizeof kFormats / sizeof kFormats[0]);
    EXPECT_GE(compared, kFilteringCases);
}

TEST(RealVapourSynth, YuvFramesEqualTheToolsThroughTheClassicPlugin) {
    int compared = 0;
    for (const Case& c : ReadCases()) {
        const HostRun run = ReadRun(c);
        if (Refused(c) || (run.clip.format != "YUV420P8" && run.clip.format != "YUV422P8")) continue;
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(run.out.valid()) << ReadFile(Result(c, "out.error"));
        EXPECT_TRUE(run.out.bytes == ToolOutput(c, run.clip, run.sclip.valid() ? &run.sclip : nullptr));
        ++compared;
    }
    EXPECT_GE(compared, 8);
}

TEST(RealVapourSynth, FramesRequestedAtOnceOnSeveralThreadsEqualOneThreads) {
    int compared = 0;
    for (const Case& c : ReadCases()) {
        if (Refused(c)) continue;
        SCOPED_TRACE(c.name);
        const Frames out = ReadFrames(Result(c, "out.frames"));
        const Frames parallel = ReadFrames(Result(c, "parallel.frames"));
        ASSERT_TRUE(out.valid()) << ReadFile(Result(c, "out.error"));
        ASSERT_TRUE(parallel.valid()) << ReadFile(Result(c, "parallel.error"));
        EXPECT_TRUE(parallel.bytes == out.bytes);
        ++compared;
    }
    EXPECT_GE(compared, kFilteringCases);
}

// "n: p q" for each frame, the planes the engine leaves alone.
std::string ExpectedSharedPlanes(const Case& c, const Frames& clip) {
    const engine::FramePlan plan(clip.engineFormat(), clip.width, clip.height, SettingsOf(c.arguments));
    std::string planes;
    for (int p = 0; p < engine::PlaneCount(clip.engineFormat()); ++p)
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
        ASSERT_TRUE(clip.valid());
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
    {"refuse_variable_format",
     "BasinLift: the clip's format varies from frame to frame; it needs one format"},
    {"refuse_variable_size",
     "BasinLift: the clip's frame size varies from frame to frame; it needs one size"},
    {"refuse_odd_width",
     "BasinLift: YUV420P8 needs a width divisible by 2 and a height divisible by 2, not 15x16"},
    {"refuse_odd_411", "BasinLift: YUV411P8 needs a width divisible by 4, not 46x20"},
    {"refuse_yuv440", "BasinLift: YUV440P8 is not supported; it takes Gray8, YUV420P8, YUV422P8, "
                      "YUV444P8, YUV411P8, YUV410P8 and RGB24"},
    {"refuse_16_bit", "BasinLift: YUV420P16 is not supported; it takes Gray8, YUV420P8, YUV422P8, "
                      "YUV444P8, YUV411P8, YUV410P8 and RGB24"},
    {"refuse_gray16", "BasinLift: Gray16 is not supported; it takes Gray8, YUV420P8, YUV422P8, "
                      "YUV444P8, YUV411P8, YUV410P8 and RGB24"},
    {"refuse_float", "BasinLift: RGBS is not supported; it takes Gray8, YUV420P8, YUV422P8, "
                     "YUV444P8, YUV411P8, YUV410P8 and RGB24"},
    {"refuse_half_float", "BasinLift: YUV444PH is not supported; it takes Gray8, YUV420P8, "
                          "YUV422P8, YUV444P8, YUV411P8, YUV410P8 and RGB24"},
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
