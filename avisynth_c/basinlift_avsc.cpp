// BasinLift for AviSynth+ through its C interface: the host adapter of the 64-bit plug-ins
// (Windows, Linux, macOS). Plain C across the boundary, so it works in hosts built by any
// compiler. It takes the classic plug-in's formats and refusals, and beyond them the planar
// formats at every depth AviSynth+ has (8 to 16 bits, float) and packed RGB48 and RGB64:
// each plane or colour channel is segmented on its own, alpha copied.
#include <cstdint>
#include <cstdio>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "arguments.h"
#include "avs_api.h"
#include "frame_render.h"

#if defined(_WIN32)
#define BASINLIFT_C_EXPORT extern "C" __declspec(dllexport)
#else
#define BASINLIFT_C_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

// An AviSynth+ format the filter takes: the engine's layout, and the host's planes in the
// engine's plane order (packed formats have one, the default plane). A format of every depth
// names its 8-bit type; AviSynth+ marks the depth in the sample bits of the pixel type.
struct HostFormat {
    int pixelType;
    const char* name;
    const engine::PixelFormat* format;
    int planes[4];
    bool everyDepth;  // also at 10, 12, 14 and 16 bits and float; otherwise this type only
};

constexpr int kYuv[4] = {AVS_PLANAR_Y, AVS_PLANAR_U, AVS_PLANAR_V, 0};
constexpr int kYuva[4] = {AVS_PLANAR_Y, AVS_PLANAR_U, AVS_PLANAR_V, AVS_PLANAR_A};
constexpr int kRgb[4] = {AVS_PLANAR_G, AVS_PLANAR_B, AVS_PLANAR_R, 0};
constexpr int kRgba[4] = {AVS_PLANAR_G, AVS_PLANAR_B, AVS_PLANAR_R, AVS_PLANAR_A};
const HostFormat kFormats[] = {
    {AVS_CS_BGR24, "RGB24", &engine::kBgr24, {0}, false},
    {AVS_CS_BGR32, "RGB32", &engine::kBgr32, {0}, false},
    {AVS_CS_BGR48, "RGB48", &engine::kBgr24, {0}, false},
    {AVS_CS_BGR64, "RGB64", &engine::kBgr32, {0}, false},
    {AVS_CS_YUY2, "YUY2", &engine::kYuy2, {0}, false},
    {AVS_CS_I420, "I420", &engine::kYuv420, {kYuv[0], kYuv[1], kYuv[2]}, false},
    {AVS_CS_YV411, "YV411", &engine::kYuv411, {kYuv[0], kYuv[1], kYuv[2]}, false},
    {AVS_CS_Y8, "Y", &engine::kGray, {AVS_PLANAR_Y}, true},
    {AVS_CS_YV12, "YUV420", &engine::kYuv420, {kYuv[0], kYuv[1], kYuv[2]}, true},
    {AVS_CS_YV16, "YUV422", &engine::kYuv422, {kYuv[0], kYuv[1], kYuv[2]}, true},
    {AVS_CS_YV24, "YUV444", &engine::kYuv444, {kYuv[0], kYuv[1], kYuv[2]}, true},
    {AVS_CS_YUVA420, "YUVA420", &engine::kYuva420, {kYuva[0], kYuva[1], kYuva[2], kYuva[3]}, true},
    {AVS_CS_YUVA422, "YUVA422", &engine::kYuva422, {kYuva[0], kYuva[1], kYuva[2], kYuva[3]}, true},
    {AVS_CS_YUVA444, "YUVA444", &engine::kYuva444, {kYuva[0], kYuva[1], kYuva[2], kYuva[3]}, true},
    {AVS_CS_RGBP, "RGBP", &engine::kRgbPlanar, {kRgb[0], kRgb[1], kRgb[2]}, true},
    {AVS_CS_RGBAP, "RGBAP", &engine::kRgbaPlanar, {kRgba[0], kRgba[1], kRgba[2], kRgba[3]}, true},
};

// The samples that the sample bits of a pixel type say, read from the clip, never assumed.
std::optional<engine::SampleFormat> SamplesOf(int pixelType) {
    switch (pixelType & AVS_CS_SAMPLE_BITS_MASK) {
        case AVS_CS_SAMPLE_BITS_8: return engine::kByteSamples;
        case AVS_CS_SAMPLE_BITS_10: return engine::IntegerSamples(10);
        case AVS_CS_SAMPLE_BITS_12: return engine::IntegerSamples(12);
        case AVS_CS_SAMPLE_BITS_14: return engine::IntegerSamples(14);
        case AVS_CS_SAMPLE_BITS_16: return engine::IntegerSamples(16);
        case AVS_CS_SAMPLE_BITS_32: return engine::kFloatSamples;
        default: return std::nullopt;
    }
}

// The row of a pixel type, and its samples; nullptr when the filter does not take it.
const HostFormat* FindFormat(int pixelType, engine::SampleFormat& samples) {
    const std::optional<engine::SampleFormat> depth = SamplesOf(pixelType);
    if (!depth) return nullptr;
    samples = *depth;
    for (const HostFormat& f : kFormats)
        if (f.pixelType == pixelType ||
            (f.everyDepth && f.pixelType == (pixelType & ~AVS_CS_SAMPLE_BITS_MASK)))
            return &f;
    return nullptr;
}

std::string UnsupportedFormatText() {
    std::vector<std::string> fixed, everyDepth;
    for (const HostFormat& f : kFormats) (f.everyDepth ? everyDepth : fixed).push_back(f.name);
    return "BasinLift: this color format is not supported; it takes " + engine::JoinList(fixed, ", ") +
           " and, at 8, 10, 12, 14 and 16 bits and float, " + engine::JoinList(everyDepth);
}

struct Filter {
    Filter(const HostFormat& hostFormat, const engine::VideoFormat& format,
           const AVS_VideoInfo& vi, const engine::FilterSettings& settings, AVS_Clip* segmentation)
        : host(hostFormat), plan(format, vi.width, vi.height, settings),
          buffers(vi.width, vi.height, format.samples), sclip(segmentation) {}

    const HostFormat& host;
    engine::FramePlan plan;
    engine::WorkingBuffers buffers;
    AVS_Clip* sclip;    // one reference of our own; nullptr: segment the input clip
    // The last frame's failure, for the host to read; a buffer of its own, so that a failure
    // for want of memory can be told without any.
    char error[256] = "";

    const char* Fail(const char* text) {
        std::snprintf(error, sizeof error, "%s", text);
        return error;
    }
};

// The arguments as the host's accessors read them. An integer arrives as 64 bits from hosts of
// interface 11 on; the engine keeps one beyond int out of every range.
engine::FilterSettings ReadSettings(AVS_Value args) {
    return engine::ReadSettings([&](int i, const engine::ArgumentRule& argument) {
        const AVS_Value value = avs_array_elt(args, i);
        std::optional<int64_t> given;
        if (argument.type == engine::ArgumentType::Int && avs_is_int(value))
            given = avs_as_long(value);
        if (argument.type == engine::ArgumentType::Bool && avs_is_bool(value))
            given = avs_as_bool(value);
        return given;
    });
}

engine::ClipFacts FactsOf(const AVS_VideoInfo& vi) {
    engine::SampleFormat samples{};
    const HostFormat* host = FindFormat(vi.pixel_type, samples);
    return {{host ? host->format : nullptr, samples}, vi.width, vi.height, vi.num_frames};
}

int AVSC_CC SetCacheHints(AVS_FilterInfo*, int cachehints, int) {
    // One frame at a time per instance: the working buffers belong to it. The host runs
    // several instances for several threads.
    return cachehints == AVS_CACHE_GET_MTMODE ? AVS_MT_MULTI_INSTANCE : 0;
}

void AVSC_CC FreeFilter(AVS_FilterInfo* fi) {
    auto* filter = static_cast<Filter*>(fi->user_data);
    fi->user_data = nullptr;
    if (!filter) return;
    if (filter->sclip) LoadAvsApi()->avs_release_clip(filter->sclip);
    delete filter;
}

AVS_VideoFrame* AVSC_CC GetFrame(AVS_FilterInfo* fi, int n) {
    const AvsApi* api = LoadAvsApi();
    Filter& filter = *static_cast<Filter*>(fi->user_data);
    AVS_VideoFrame* src = api->avs_get_frame(fi->child, n);
    if (!src) {
        fi->error = api->avs_clip_get_error(fi->child);
        return nullptr;
    }
    AVS_VideoFrame* dst = api->avs_new_video_frame_p_a(fi->env, &fi->vi, src, 16);
    AVS_VideoFrame* seg = src;
    if (filter.sclip) seg = api->avs_get_frame(filter.sclip, n);
    const auto releaseAll = [&] {
        if (seg && seg != src) api->avs_release_video_frame(seg);
        if (dst) api->avs_release_video_frame(dst);
        api->avs_release_video_frame(src);
    };
    if (!dst || !seg) {
        // The host's own reason, as a host filter would pass it on.
        const char* reason = !dst ? api->avs_get_error(fi->env) : api->avs_clip_get_error(filter.sclip);
        fi->error = filter.Fail(reason ? reason : "BasinLift: the host gave no new frame");
        releaseAll();
        return nullptr;
    }

    engine::FrameRefs frame{};
    // The first plane's write pointer first: it is the one that checks the frame is writable.
    for (int p = 0; p < engine::PlaneCount(filter.plan.Pixels()); ++p) {
        const int plane = filter.host.planes[p];
        frame.dst[p] = {api->avs_get_write_ptr_p(dst, plane), api->avs_get_pitch_p(dst, plane)};
        frame.src[p] = {api->avs_get_read_ptr_p(src, plane), api->avs_get_pitch_p(src, plane)};
        frame.seg[p] = {api->avs_get_read_ptr_p(seg, plane), api->avs_get_pitch_p(seg, plane)};
    }
    // Nothing in the render allocates: the working buffers were sized with the filter.
    AVS_ScriptEnvironment* env = fi->env;
    engine::RenderFrame(filter.plan, filter.buffers, frame,
                        [api, env](uint8_t* d, ptrdiff_t dPitch, const uint8_t* s,
                                   ptrdiff_t sPitch, int rowBytes, int rows) {
                            api->avs_bit_blt(env, d, static_cast<int>(dPitch), s,
                                             static_cast<int>(sPitch), rowBytes, rows);
                        });
    if (seg != src) api->avs_release_video_frame(seg);
    api->avs_release_video_frame(src);
    return dst;
}

// The refusal as a script error; the host keeps the text.
AVS_Value Refuse(AVS_ScriptEnvironment* env, const std::string& text) {
    return avs_new_value_error(LoadAvsApi()->avs_save_string(env, text.c_str(), -1));
}

AVS_Value AVSC_CC CreateBasinLift(AVS_ScriptEnvironment* env, AVS_Value args, void*) {
    const AvsApi* api = LoadAvsApi();
    const AVS_Value input = avs_array_elt(args, engine::kArgClip);
    const AVS_Value sclipArg = avs_array_elt(args, engine::kArgSclip);
    const engine::FilterSettings settings = ReadSettings(args);

    AVS_FilterInfo* fi = nullptr;
    AVS_Clip* clip = api->avs_new_c_filter(env, &fi, input, 1);
    const engine::ClipFacts facts = FactsOf(fi->vi);
    AVS_Clip* sclip = nullptr;
    engine::SclipFacts sclipFacts{};
    sclipFacts.given = avs_is_clip(sclipArg);
    // Two values hold the same clip object exactly when their clip fields are equal; clip
    // handles taken from them are new wrappers every time, so they cannot tell.
    sclipFacts.sameAsInput = sclipFacts.given && sclipArg.d.clip == input.d.clip;
    if (settings.useclip && sclipFacts.given && !sclipFacts.sameAsInput) {
        sclip = api->avs_take_clip(sclipArg, env);
        const AVS_VideoInfo& svi = *api->avs_get_video_info(sclip);
        sclipFacts.facts = FactsOf(svi);
        sclipFacts.sameFormat = svi.pixel_type == fi->vi.pixel_type;
    }

    std::string refusal;
    if (!facts.format.pixels)
        refusal = UnsupportedFormatText();
    else if (const char* failed = engine::FirstFailedCheck(facts, settings, sclipFacts))
        refusal = engine::RefusalText(failed);
    else {
        try {
            engine::SampleFormat samples{};
            const HostFormat& host = *FindFormat(fi->vi.pixel_type, samples);
            fi->user_data = new Filter(host, facts.format, fi->vi, settings, sclip);
            sclip = nullptr;  // the filter's now
            fi->get_frame = GetFrame;
            fi->set_cache_hints = SetCacheHints;
            fi->free_filter = FreeFilter;
        } catch (const std::bad_alloc&) {
            refusal = engine::kOutOfMemoryRefusal;
        }
    }
    if (sclip) api->avs_release_clip(sclip);
    if (!refusal.empty()) {
        api->avs_release_clip(clip);
        return Refuse(env, refusal);
    }
    AVS_Value result;
    api->avs_set_to_clip(&result, clip);
    api->avs_release_clip(clip);
    return result;
}

}  // namespace

BASINLIFT_C_EXPORT const char* AVSC_CC avisynth_c_plugin_init(AVS_ScriptEnvironment* env) {
    const AvsApi* api = LoadAvsApi();
    if (!api) return "BasinLift: this AviSynth lacks C interface functions the plug-in needs";
    api->avs_add_function(env, engine::kFunctionName, engine::kAvisynthSignature, CreateBasinLift,
                          nullptr);
    return engine::kPluginDescription;
}

// The entry point of plug-ins that understand the 64-bit values of interface 11; integers
// arrive as before, and a 64-bit one is read as out of range.
BASINLIFT_C_EXPORT const char* AVSC_CC avisynth_c_plugin_init2(AVS_ScriptEnvironment* env) {
    return avisynth_c_plugin_init(env);
}
