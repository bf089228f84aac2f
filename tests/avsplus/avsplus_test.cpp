// The plug-ins inside the real AviSynth+ on Linux: the classic BasinLift.so and the C-interface
// BasinLiftC.so run the scripts of cases.txt in avs_host, and what they give is compared with
// the command-line tool on the same input (the classic formats), with the engine on the same
// planes (every format), with each other, and with the refusal texts scripts must see.
#include <avisynth_c.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "arguments.h"
#include "case_file.h"
#include "frame_render.h"

namespace {

// ---- The cases and what the hosts wrote -------------------------------------------------------

using hosttest::Case;
using hosttest::Exists;
using hosttest::ReadFile;
using hosttest::Trim;

std::vector<Case> ReadCases() { return hosttest::ReadCases(BASINLIFT_AVSPLUS_CASES); }

// A clip as avs_host writes it: every frame's planes, rows without padding.
struct Frames {
    int pixelType = 0, width = 0, height = 0, count = 0, planes = 0;
    std::string bytes;
    bool Valid() const { return width > 0; }
};

Frames ReadFrames(const std::string& path) {
    Frames f;
    std::string fields;
    if (!hosttest::ReadFramesFile(path, fields, f.bytes)) return Frames{};
    std::istringstream(fields) >> f.pixelType >> f.width >> f.height >> f.count >> f.planes;
    return f;
}

// Runs the host once per plug-in and process; the directory holds what it wrote.
std::string HostOutput(const std::string& plugin, const std::string& label) {
    static std::map<std::string, std::string> done;
    const auto known = done.find(label);
    if (known != done.end()) return known->second;
    const std::string dir = std::string(BASINLIFT_AVSPLUS_OUT) + "/" + label;
    const std::string command = "rm -rf '" + dir + "' && mkdir -p '" + dir + "' && '" +
                                BASINLIFT_AVS_HOST + "' '" + plugin + "' '" +
                                BASINLIFT_AVSPLUS_CASES + "' '" + dir + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return done[label] = dir;
}
std::string Classic() { return HostOutput(BASINLIFT_CLASSIC_PLUGIN, "linux-classic"); }
std::string CInterface() { return HostOutput(BASINLIFT_C_PLUGIN, "linux-c"); }

// ---- Formats ----------------------------------------------------------------------------------

// The engine's format of a pixel type, read from its bits independently of the plug-in's own
// table: the layout, the subsampling, alpha and the depth. Every format the engine has is one
// the C-interface plug-in must take.
std::optional<engine::VideoFormat> EngineFormat(int pixelType) {
    engine::PixelFormat wanted{};
    const int subWidth = pixelType & AVS_CS_SUB_WIDTH_MASK, subHeight = pixelType & AVS_CS_SUB_HEIGHT_MASK;
    const auto shift = [](int sub, int one, int two) { return sub == one ? 0 : sub == two ? 1 : 2; };
    if (!(pixelType & AVS_CS_PLANAR)) {
        if (pixelType & AVS_CS_BGR) {
            wanted.layout = engine::Layout::PackedBgr;
            wanted.alpha = pixelType & AVS_CS_RGBA_TYPE;
            wanted.samplesPerPixel = wanted.alpha ? 4 : 3;
        } else if (pixelType == AVS_CS_YUY2) {
            wanted = {nullptr, engine::Layout::PackedYuy2, 2, 1, 0, false, false};
        } else {
            return std::nullopt;
        }
    } else if (pixelType & AVS_CS_INTERLEAVED) {
        wanted = {nullptr, engine::Layout::Gray, 1, 0, 0, false, false};
    } else if (pixelType & AVS_CS_BGR) {
        wanted = {nullptr, engine::Layout::PlanarRgb, 1, 0, 0, (pixelType & AVS_CS_RGBA_TYPE) != 0, false};
    } else {
        wanted = {nullptr, engine::Layout::PlanarYuv, 1,
                  shift(subWidth, AVS_CS_SUB_WIDTH_1, AVS_CS_SUB_WIDTH_2),
                  shift(subHeight, AVS_CS_SUB_HEIGHT_1, AVS_CS_SUB_HEIGHT_2),
                  (pixelType & AVS_CS_YUVA) != 0, false};
    }
    const int bits = (pixelType & AVS_CS_SAMPLE_BITS_MASK) == AVS_CS_SAMPLE_BITS_10 ? 10
                     : (pixelType & AVS_CS_SAMPLE_BITS_MASK) == AVS_CS_SAMPLE_BITS_12 ? 12
                     : (pixelType & AVS_CS_SAMPLE_BITS_MASK) == AVS_CS_SAMPLE_BITS_14 ? 14
                     : (pixelType & AVS_CS_SAMPLE_BITS_MASK) == AVS_CS_SAMPLE_BITS_16 ? 16
                     : (pixelType & AVS_CS_SAMPLE_BITS_MASK) == AVS_CS_SAMPLE_BITS_32 ? 32
                                                                                     : 8;
    const engine::SampleFormat samples = bits == 32 ? engine::kFloatSamples : engine::IntegerSamples(bits);
    for (const engine::PixelFormat* format : engine::kPixelFormats)
        if (format->layout == wanted.layout && format->alpha == wanted.alpha &&
            format->samplesPerPixel == wanted.samplesPerPixel &&
            format->chromaShiftX == wanted.chromaShiftX && format->chromaShiftY == wanted.chromaShiftY)
            return engine::VideoFormat{format, samples};
    return std::nullopt;
}

bool IsClassic(int pixelType) {
    return pixelType == AVS_CS_BGR24 || pixelType == AVS_CS_BGR32 || pixelType == AVS_CS_YUY2 ||
           pixelType == AVS_CS_YV12 || pixelType == AVS_CS_I420;
}

struct PlaneSize {
    int rowBytes, rows;
};

// The planes of one frame in the order avs_host writes them.
std::vector<PlaneSize> PlaneSizes(const Frames& f) {
    const engine::VideoFormat format = *EngineFormat(f.pixelType);
    std::vector<PlaneSize> sizes;
    for (int p = 0; p < engine::PlaneCount(*format.pixels); ++p)
        sizes.push_back({engine::PlaneWidth(*format.pixels, p, f.width) * format.samples.Bytes(),
                         engine::PlaneHeight(*format.pixels, p, f.height)});
    return sizes;
}

// ---- What the engine makes of the same planes -------------------------------------------------

engine::FilterSettings SettingsOf(const std::string& arguments) {
    return engine::ReadSettings([&](int, const engine::ArgumentRule& argument) {
        std::optional<int64_t> given;
        std::stringstream words(arguments);
        for (std::string word; std::getline(words, word, ',');) {
            word = Trim(word);
            const size_t eq = word.find('=');
            if (eq == std::string::npos || word.substr(0, eq) != argument.name) continue;
            const std::string value = word.substr(eq + 1);
            if (argument.type == engine::ArgumentType::Int) given = std::stoll(value);
            if (argument.type == engine::ArgumentType::Bool) given = value == "true";
        }
        return given;
    });
}

std::string EngineOutput(const Frames& source, const Frames* sclip, const std::string& arguments) {
    const engine::FilterSettings settings = SettingsOf(arguments);
    if (!settings.useclip) sclip = nullptr;  // segments the source itself
    const engine::VideoFormat format = *EngineFormat(source.pixelType);
    const engine::FramePlan plan(format, source.width, source.height, settings);
    const engine::WorkingBuffers buffers(source.width, source.height, format.samples);
    std::string out(source.bytes.size(), '\0');
    const std::vector<PlaneSize> sizes = PlaneSizes(source);
    size_t frameAt = 0;
    for (int n = 0; n < source.count; ++n) {
        engine::FrameRefs frame{};
        size_t at = frameAt;
        for (size_t p = 0; p < sizes.size(); ++p) {
            const auto* src = reinterpret_cast<const uint8_t*>(source.bytes.data() + at);
            const auto* seg = sclip ? reinterpret_cast<const uint8_t*>(sclip->bytes.data() + at) : src;
            frame.src[p] = {src, sizes[p].rowBytes};
            frame.seg[p] = {seg, sizes[p].rowBytes};
            frame.dst[p] = {reinterpret_cast<uint8_t*>(&out[at]), sizes[p].rowBytes};
            at += static_cast<size_t>(sizes[p].rowBytes) * static_cast<size_t>(sizes[p].rows);
        }
        engine::RenderFrame(plan, buffers, frame);
        frameAt = at;
    }
    return out;
}

// ---- What the command-line tool makes of the same input ---------------------------------------

// The tool reads and writes 4:2:0 and 4:2:2 video as YUV4MPEG2 and pictures as PAM; RGB frames
// lie bottom-up in the host's memory, as the tool stores a picture.
bool IsRgb(int pixelType) { return pixelType == AVS_CS_BGR24 || pixelType == AVS_CS_BGR32; }

std::string ToolInput(const Frames& f) {
    std::string out;
    const int w = f.width, h = f.height;
    if (IsRgb(f.pixelType)) {
        const int depth = f.pixelType == AVS_CS_BGR32 ? 4 : 3;
        out = "P7\nWIDTH " + std::to_string(w) + "\nHEIGHT " + std::to_string(h) + "\nDEPTH " +
              std::to_string(depth) + "\nMAXVAL 255\nTUPLTYPE " +
              (depth == 4 ? "RGB_ALPHA" : "RGB") + "\nENDHDR\n";
        for (int r = 0; r < h; ++r) {
            const char* row = f.bytes.data() + static_cast<size_t>(h - 1 - r) * w * depth;
            for (int x = 0; x < w; ++x) {
                const char* px = row + x * depth;
                out += {px[2], px[1], px[0]};
                if (depth == 4) out += px[3];
            }
        }
        return out;
    }
    const bool packed = f.pixelType == AVS_CS_YUY2;
    out = "YUV4MPEG2 W" + std::to_string(w) + " H" + std::to_string(h) + " F25:1 Ip A1:1 " +
          (packed ? "C422" : "C420jpeg") + "\n";
    const size_t frameBytes = f.bytes.size() / static_cast<size_t>(f.count);
    for (int n = 0; n < f.count; ++n) {
        const std::string frame = f.bytes.substr(static_cast<size_t>(n) * frameBytes, frameBytes);
        out += "FRAME\n";
        if (!packed) {
            out += frame;
            continue;
        }
        std::string y, u, v;
        for (size_t i = 0; i + 3 < frame.size(); i += 4) {
            y += {frame[i], frame[i + 2]};
            u += frame[i + 1];
            v += frame[i + 3];
        }
        out += y + u + v;
    }
    return out;
}

// The tool's output back in the host's layout.
std::string FromToolOutput(const std::string& text, const Frames& like) {
    const int w = like.width, h = like.height;
    std::string out;
    if (IsRgb(like.pixelType)) {
        const size_t end = text.find("ENDHDR\n");
        if (end == std::string::npos) return "";
        const std::string tuples = text.substr(end + 7);
        const int depth = like.pixelType == AVS_CS_BGR32 ? 4 : 3;
        out.assign(static_cast<size_t>(w) * h * depth, '\0');
        for (int r = 0; r < h && tuples.size() == out.size(); ++r)
            for (int x = 0; x < w; ++x) {
                const char* px = tuples.data() + (static_cast<size_t>(r) * w + x) * depth;
                char* to = &out[(static_cast<size_t>(h - 1 - r) * w + x) * depth];
                to[0] = px[2], to[1] = px[1], to[2] = px[0];
                if (depth == 4) to[3] = px[3];
            }
        return out;
    }
    const bool packed = like.pixelType == AVS_CS_YUY2;
    const size_t ySize = static_cast<size_t>(w) * h;
    const size_t cSize = packed ? ySize / 2 : ySize / 4;
    for (size_t at = text.find('\n') + 1; text.compare(at, 5, "FRAME") == 0;) {
        at = text.find('\n', at) + 1;
        if (at == 0 || at + ySize + 2 * cSize > text.size()) break;
        const std::string y = text.substr(at, ySize), u = text.substr(at + ySize, cSize),
                          v = text.substr(at + ySize + cSize, cSize);
        if (!packed) out += y + u + v;
        for (size_t i = 0; packed && i < cSize; ++i) out += {y[2 * i], u[i], y[2 * i + 1], v[i]};
        at += ySize + 2 * cSize;
    }
    return out;
}

std::string ToolOutput(const Case& c, const Frames& source, const Frames* sclip) {
    const std::string dir = std::string(BASINLIFT_AVSPLUS_OUT) + "/tool";
    const auto extension = [](const Frames& f) { return IsRgb(f.pixelType) ? ".pam" : ".y4m"; };
    const std::string ext = extension(source);
    const std::string in = dir + "/" + c.name + ".in" + ext, out = dir + "/" + c.name + ".out" + ext;
    std::system(("mkdir -p '" + dir + "'").c_str());
    std::ofstream(in, std::ios::binary) << ToolInput(source);
    std::string command = std::string("'") + BASINLIFT_TOOL + "' --quiet";
    if (source.pixelType == AVS_CS_YV12) command += " --pixel-type yv12";
    command += " '" + in + "' '" + out + "'";
    std::stringstream words(c.arguments);
    for (std::string word; std::getline(words, word, ',');) {
        word = Trim(word);
        if (word == "sclip=seg") {
            const std::string seg = dir + "/" + c.name + ".sclip" + extension(*sclip);
            std::ofstream(seg, std::ios::binary) << ToolInput(*sclip);
            word = "sclip=" + seg;
        }
        if (!word.empty()) command += " '" + word + "'";
    }
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return FromToolOutput(ReadFile(out), source);
}

// ---- The checks -------------------------------------------------------------------------------

bool IsRefusal(const Case& c) { return c.name.rfind("refuse_", 0) == 0; }

TEST(RealAviSynthPlus, ClassicPluginGivesTheToolsFramesOnEveryClassicFormat) {
    int compared = 0;
    for (const Case& c : ReadCases()) {
        const Frames source = ReadFrames(Classic() + "/" + c.name + ".source.frames");
        if (IsRefusal(c) || !IsClassic(source.pixelType)) continue;
        SCOPED_TRACE(c.name);
        const Frames sclip = ReadFrames(Classic() + "/" + c.name + ".sclip.frames");
        const Frames out = ReadFrames(Classic() + "/" + c.name + ".out.frames");
        ASSERT_TRUE(out.Valid()) << ReadFile(Classic() + "/" + c.name + ".out.error");
        EXPECT_TRUE(out.bytes == ToolOutput(c, source, sclip.Valid() ? &sclip : nullptr));
        EXPECT_TRUE(out.bytes == EngineOutput(source, sclip.Valid() ? &sclip : nullptr, c.arguments));
        ++compared;
    }
    EXPECT_GE(compared, 12);
}

TEST(RealAviSynthPlus, CInterfacePluginGivesTheEnginesFramesOnEveryFormat) {
    int compared = 0;
    for (const Case& c : ReadCases()) {
        if (IsRefusal(c)) continue;
        SCOPED_TRACE(c.name);
        const Frames source = ReadFrames(CInterface() + "/" + c.name + ".source.frames");
        const Frames sclip = ReadFrames(CInterface() + "/" + c.name + ".sclip.frames");
        const Frames out = ReadFrames(CInterface() + "/" + c.name + ".out.frames");
        ASSERT_TRUE(out.Valid()) << ReadFile(CInterface() + "/" + c.name + ".out.error");
        EXPECT_TRUE(out.bytes == EngineOutput(source, sclip.Valid() ? &sclip : nullptr, c.arguments));
        if (IsClassic(source.pixelType)) {
            EXPECT_EQ(out.bytes, ReadFrames(Classic() + "/" + c.name + ".out.frames").bytes);
        }
        ++compared;
    }
    EXPECT_GE(compared, 20);
}

TEST(RealAviSynthPlus, BothPluginsKeepTheFramesProperties) {
    int compared = 0;
    for (const std::string& dir : {Classic(), CInterface()})
        for (const Case& c : ReadCases()) {
            if (!Exists(dir + "/" + c.name + ".out.frames")) continue;
            SCOPED_TRACE(dir + " " + c.name);
            const std::string source = ReadFile(dir + "/" + c.name + ".source.props");
            ASSERT_NE(source.find("_Matrix=1"), std::string::npos);
            EXPECT_EQ(ReadFile(dir + "/" + c.name + ".out.props"), source);
            ++compared;
        }
    EXPECT_GE(compared, 40);
}

// A call that gave no frames must have been refused; the refusals are judged below.
TEST(RealAviSynthPlus, PrefetchGivesTheSameFramesAsOneThread) {
    int compared = 0;
    for (const std::string& dir : {Classic(), CInterface()})
        for (const Case& c : ReadCases()) {
            SCOPED_TRACE(dir + " " + c.name);
            const std::string out = ReadFile(dir + "/" + c.name + ".out.frames");
            if (out.empty()) {
                EXPECT_TRUE(Exists(dir + "/" + c.name + ".out.error")) << "the host wrote nothing";
                continue;
            }
            EXPECT_EQ(ReadFile(dir + "/" + c.name + ".prefetch.frames"), out);
            ++compared;
        }
    EXPECT_GE(compared, 12 + 20);
}

// Expected refusals: the first check each call fails, as scripts see it.
const std::map<std::string, std::string> kRefusals = {
    {"refuse_sh", "BasinLift: RGB or Y sharpening factor sh must be between -10 and 10"},
    {"refuse_sh_before_sm", "BasinLift: RGB or Y sharpening factor sh must be between -10 and 10"},
    {"refuse_sm", "BasinLift: RGB or Y smoothening factor sm must be between 0 and 10"},
    {"refuse_rgb_nothing", "BasinLift: sh and sm both can not be zero"},
    {"refuse_yuv_nothing", "BasinLift: sh, sm, smu and smv  values are zero"},
    {"refuse_sclip_missing", "BasinLift:For useclip option sclip must be defined"},
    {"refuse_sclip_identical", "BasinLift:clip to be smoothed and sclip must not be identical"},
    {"refuse_sclip_size", "BasinLift: The two clips have either dissimilar color format orunequal frame dimensions or unequal number of frames"},
    {"refuse_sclip_length", "BasinLift: The two clips have either dissimilar color format orunequal frame dimensions or unequal number of frames"},
    {"refuse_sclip_format", "BasinLift: The two clips have either dissimilar color format orunequal frame dimensions or unequal number of frames"},
    {"refuse_sm_before_smu", "BasinLift: RGB or Y smoothening factor sm must be between 0 and 10"},
    {"refuse_smu", "BasinLift: u smoothening factor smu must be between 0 and 10"},
    {"refuse_smv", "BasinLift: v smoothening factor smv must be between 0 and 10"},
    {"refuse_y_nothing",
     "BasinLift: sh and sm both can not be zero; a clip of Y alone has no U and V for smu and smv"},
};
// AviSynth+ is no old AviSynth: the classic plug-in says what it takes and where the rest is.
constexpr char kClassicUnsupported[] =
    "BasinLift: this color format is not supported by the classic plug-in BasinLift, which takes "
    "RGB24, RGB32, YUY2, YV12 and I420; BasinLiftC, the C-interface plug-in, takes the others";
constexpr char kCUnsupported[] =
    "BasinLift: this color format is not supported; it takes RGB24, RGB32, RGB48, RGB64, YUY2, "
    "I420, YV411 and, at 8, 10, 12, 14 and 16 bits and float, Y, YUV420, YUV422, YUV444, "
    "YUVA420, YUVA422, YUVA444, RGBP and RGBAP";

void ExpectRefusal(const std::string& dir, const std::string& name, const std::string& text) {
    EXPECT_EQ(ReadFile(dir + "/" + name + ".out.error"), text) << dir << " " << name;
    EXPECT_EQ(ReadFile(dir + "/" + name + ".prefetch.error"), text) << dir << " " << name;
    EXPECT_EQ(ReadFile(dir + "/" + name + ".caught.txt"), text) << dir << " " << name;
    EXPECT_FALSE(Exists(dir + "/" + name + ".out.frames")) << dir << " " << name;
}

// A case named after one argument, refuse_NAME, is refused for that argument, so that every
// range check is seen in the host (a case refused for another argument checks nothing new).
TEST(RealAviSynthPlus, EachRangeCaseIsRefusedForTheArgumentItNames) {
    int named = 0;
    for (const engine::ArgumentRule& argument : engine::kArguments) {
        if (argument.type != engine::ArgumentType::Int) continue;
        const auto refusal = kRefusals.find(std::string("refuse_") + argument.name);
        ASSERT_NE(refusal, kRefusals.end()) << "no case refuses " << argument.name;
        EXPECT_NE(refusal->second.find(std::string(" ") + argument.name + " must be"),
                  std::string::npos)
            << refusal->first << ": " << refusal->second;
        ++named;
    }
    EXPECT_EQ(named, 4);
}

TEST(RealAviSynthPlus, RefusalsReachScriptsUnchanged) {
    int refused = 0;
    for (const Case& c : ReadCases()) {
        const Frames source = ReadFrames(CInterface() + "/" + c.name + ".source.frames");
        const bool classicFormat = IsClassic(source.pixelType);
        const auto refusal = kRefusals.find(c.name);
        if (refusal != kRefusals.end()) {
            ExpectRefusal(CInterface(), c.name, refusal->second);
            ExpectRefusal(Classic(), c.name, classicFormat ? refusal->second : kClassicUnsupported);
            ++refused;
        } else if (!EngineFormat(source.pixelType)) {
            ExpectRefusal(CInterface(), c.name, kCUnsupported);
            ExpectRefusal(Classic(), c.name, kClassicUnsupported);
        } else if (!classicFormat) {
            ExpectRefusal(Classic(), c.name, kClassicUnsupported);
        } else {
            EXPECT_FALSE(IsRefusal(c)) << c.name << " has no expected refusal";
        }
    }
    EXPECT_EQ(refused, static_cast<int>(kRefusals.size()));
}

TEST(RealAviSynthPlus, EveryDepthGivesTheEightBitFramesScaled) {
    int compared = 0;
    for (const Case& c : ReadCases()) {
        hosttest::DepthCase depth;
        if (!hosttest::DepthOf(c.name, depth)) continue;
        SCOPED_TRACE(c.name);
        const Frames out = ReadFrames(CInterface() + "/" + c.name + ".out.frames");
        const Frames bytes = ReadFrames(CInterface() + "/" + depth.base + ".out.frames");
        ASSERT_TRUE(out.Valid()) << ReadFile(CInterface() + "/" + c.name + ".out.error");
        ASSERT_TRUE(bytes.Valid());
        const engine::VideoFormat format = *EngineFormat(out.pixelType);
        const std::vector<PlaneSize> sizes = PlaneSizes(bytes);
        std::vector<hosttest::PlaneSamples> planes;
        for (size_t p = 0; p < sizes.size(); ++p)
            planes.push_back({static_cast<size_t>(sizes[p].rowBytes) * sizes[p].rows,
                              format.pixels->layout == engine::Layout::PlanarYuv && (p == 1 || p == 2)});
        EXPECT_EQ(hosttest::CompareScaled(out.bytes, bytes.bytes, planes, depth.bits), "");
        ++compared;
    }
    EXPECT_EQ(compared, 17);
}

}  // namespace
