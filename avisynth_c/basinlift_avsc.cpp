// BasinLift for AviSynth+ through its C interface: the host adapter of the 64-bit plug-ins
// (Windows, Linux, macOS). Plain C across the boundary, so it works in hosts built by any
// compiler. It takes the classic plug-in's formats and refusals, and beyond them the planar
// 8-bit formats AviSynth+ users feed it most: each plane is segmented on its own, alpha copied.
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
// engine's plane order (packed formats have one, the default plane).
struct HostFormat {
    int pixelType;
    const char* name;
    const engine::PixelFormat* format;
    int planes[4];
};

constexpr int kYuvPlanes[4] = {AVS_PLANAR_Y, AVS_PLANAR_U, AVS_PLANAR_V, 0};
const HostFormat kFormats[] = {
    {AVS_CS_BGR24, "RGB24", &engine::kBgr24, {0}},
    {AVS_CS_BGR32, "RGB32", &engine::kBgr32, {0}},
    {AVS_CS_YUY2, "YUY2", &engine::kYuy2, {0}},
    {AVS_CS_YV12, "YV12", &engine::kYuv420, {AVS_PLANAR_Y, AVS_PLANAR_U, AVS_PLANAR_V}},
    {AVS_CS_I420, "I420", &engine::kYuv420, {AVS_PLANAR_Y, AVS_PLANAR_U, AVS_PLANAR_V}},
    {AVS_CS_Y8, "Y8", &engine::kGray, {AVS_PLANAR_Y}},
    {AVS_CS_YV16, "YV16", &engine::kYuv422, {AVS_PLANAR_Y, AVS_PLANAR_U, AVS_PLANAR_V}},
    {AVS_CS_YV24, "YV24", &engine::kYuv444, {AVS_PLANAR_Y, AVS_PLANAR_U, AVS_PLANAR_V}},
    {AVS_CS_YV411, "YV411", &engine::kYuv411, {AVS_PLANAR_Y, AVS_PLANAR_U, AVS_PLANAR_V}},
    {AVS_CS_RGBP, "RGBP", &engine::kRgbPlanar, {AVS_PLANAR_G, AVS_PLANAR_B, AVS_PLANAR_R}},
    {AVS_CS_RGBAP, "RGBAP", &engine::kRgbaPlanar,
     {AVS_PLANAR_G, AVS_PLANAR_B, AVS_PLANAR_R, AVS_PLANAR_A}},
};

// Exact pixel types: a high bit depth or float variant differs in its sample bits.
const HostFormat* FindFormat(int pixelType) {
    for (const HostFormat& f : kFormats)
        if (f.pixelType == pixelType) return &f;
    return nullptr;
}

std::string UnsupportedFormatText() {
    std::vector<std::string> names;
    for (const HostFormat& f : kFormats) names.push_back(f.name);
    return "BasinLift: this color format is not supported; it takes 8-bit " + engine::JoinList(names);
}

struct Filter {
    Filter(const HostFormat& hostFormat, const AVS_VideoInfo& vi,
           const engine::FilterSettings& settings, AVS_Clip* segmentation)
        : host(hostFormat), plan(*hostFormat.format, vi.width, vi.height, settings),
          buffers(vi.width, vi.height), sclip(segmentation) {}

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
    return engine::ReadSettings([&](int i, const engine::ArgumentSpec& argument) {
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
    const HostFormat* host = FindFormat(vi.pixel_type);
    return {host ? host->format : nullptr, vi.width, vi.height, vi.num_frames};
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
    for (int p = 0; p < engine::PlaneCount(filter.plan.Format()); ++p) {
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
    if (!facts.format)
        refusal = UnsupportedFormatText();
    else if (const char* failed = engine::FirstFailedCheck(facts, settings, sclipFacts))
        refusal = engine::RefusalText(failed);
    else {
        try {
            fi->user_data = new Filter(*FindFormat(fi->vi.pixel_type), fi->vi, settings, sclip);
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
