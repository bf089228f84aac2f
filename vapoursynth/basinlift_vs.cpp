// BasinLift for VapourSynth (API 4): the host adapter. It maps VapourSynth's formats onto
// the engine's plans, checks the arguments with the engine's table, and renders each frame with
// the engine; planes the plan leaves alone are taken over from the source frame, not copied.
// Frames are rendered in parallel (fmParallel), each with a working-buffer set of its own.
#include <VapourSynth4.h>

#include <cstdint>
#include <cstdio>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "arguments.h"
#include "buffer_pool.h"
#include "frame_render.h"

namespace {

// A VapourSynth format the filter takes, with the engine's layout for it. Planar RGB keeps the
// host's plane order R, G, B; each plane is segmented on its own, so the order is immaterial.
// Every one comes with integer samples of 8 to 16 bits or 32-bit floats.
struct HostFormat {
    int colorFamily;
    int subSamplingW;
    int subSamplingH;
    const char* name;
    const engine::PixelFormat* format;
};

const HostFormat kFormats[] = {
    {cfGray, 0, 0, "Gray", &engine::kGray},       {cfYUV, 1, 1, "YUV420", &engine::kYuv420},
    {cfYUV, 1, 0, "YUV422", &engine::kYuv422},    {cfYUV, 0, 0, "YUV444", &engine::kYuv444},
    {cfYUV, 0, 1, "YUV440", &engine::kYuv440},    {cfYUV, 2, 0, "YUV411", &engine::kYuv411},
    {cfYUV, 2, 2, "YUV410", &engine::kYuv410},    {cfRGB, 0, 0, "RGB", &engine::kRgbPlanar},
};

// The samples of a format, when the filter takes them (half floats it does not).
std::optional<engine::SampleFormat> SamplesOf(const VSVideoFormat& f) {
    if (f.sampleType == stInteger && f.bitsPerSample >= 8 && f.bitsPerSample <= 16)
        return engine::IntegerSamples(f.bitsPerSample);
    if (f.sampleType == stFloat && f.bitsPerSample == 32) return engine::kFloatSamples;
    return std::nullopt;
}

// The engine's format of a VapourSynth format; pixels nullptr when the filter does not take it.
engine::VideoFormat FindFormat(const VSVideoFormat& f) {
    const std::optional<engine::SampleFormat> samples = SamplesOf(f);
    if (!samples) return {nullptr, {}};
    for (const HostFormat& known : kFormats)
        if (known.colorFamily == f.colorFamily && known.subSamplingW == f.subSamplingW &&
            known.subSamplingH == f.subSamplingH)
            return {known.format, *samples};
    return {nullptr, {}};
}

bool ConstantFormat(const VSVideoInfo& vi) { return vi.format.colorFamily != cfUndefined; }
bool ConstantSize(const VSVideoInfo& vi) { return vi.width > 0 && vi.height > 0; }

std::string FormatName(const VSVideoFormat& format, const VSAPI* vsapi) {
    char name[32] = "";
    return vsapi->getVideoFormatName(&format, name) ? name : "an unnamed format";
}

// "YUV420P8 640x480, 100 frames", as the refusals describe a clip.
std::string Describe(const VSVideoInfo& vi, const VSAPI* vsapi) {
    const std::string format = ConstantFormat(vi) ? FormatName(vi.format, vsapi) : "variable format";
    const std::string size = ConstantSize(vi)
                                 ? std::to_string(vi.width) + "x" + std::to_string(vi.height)
                                 : "variable size";
    return format + " " + size + ", " + std::to_string(vi.numFrames) + " frames";
}

std::string UnsupportedFormatText(const VSVideoFormat& format, const VSAPI* vsapi) {
    std::vector<std::string> names;
    for (const HostFormat& f : kFormats) names.push_back(f.name);
    return "BasinLift: " + FormatName(format, vsapi) + " is not supported; it takes " +
           engine::JoinList(names, " or ") +
           " with integer samples of 8 to 16 bits or 32-bit float samples";
}

// The VapourSynth checks that come before the engine's: what the engine cannot be told about.
std::string HostRefusal(const VSVideoInfo& vi, int64_t c4, const VSAPI* vsapi) {
    if (!ConstantFormat(vi))
        return "BasinLift: the clip's format varies from frame to frame; it needs one format";
    if (!ConstantSize(vi))
        return "BasinLift: the clip's frame size varies from frame to frame; it needs one size";
    const engine::VideoFormat format = FindFormat(vi.format);
    if (!format.pixels) return UnsupportedFormatText(vi.format, vsapi);
    // VapourSynth lets a subsampled clip have any size and rounds its chroma planes down; the
    // other hosts' text for this names their formats, so say it in VapourSynth's terms.
    if (!engine::FitsSubsampling(*format.pixels, vi.width, vi.height)) {
        const int w = 1 << vi.format.subSamplingW, h = 1 << vi.format.subSamplingH;
        return "BasinLift: " + FormatName(vi.format, vsapi) + " needs " +
               (w > 1 ? "a width divisible by " + std::to_string(w) : "") +
               (w > 1 && h > 1 ? " and " : "") +
               (h > 1 ? "a height divisible by " + std::to_string(h) : "") + ", not " +
               std::to_string(vi.width) + "x" + std::to_string(vi.height);
    }
    // c4 stands for a boolean, which VapourSynth passes as an integer.
    if (c4 != 0 && c4 != 1)
        return "BasinLift: c4 must be 0 (8-connected regions) or 1 (4-connected), not " +
               std::to_string(c4);
    return "";
}

bool SameFormat(const VSVideoFormat& a, const VSVideoFormat& b) {
    return a.colorFamily == b.colorFamily && a.sampleType == b.sampleType &&
           a.bitsPerSample == b.bitsPerSample && a.subSamplingW == b.subSamplingW &&
           a.subSamplingH == b.subSamplingH;
}

// A node reference of our own, released with the object that holds it.
class NodeRef {
public:
    NodeRef(VSNode* node, const VSAPI* vsapi) : node_(node), vsapi_(vsapi) {}
    NodeRef(const NodeRef&) = delete;
    NodeRef& operator=(const NodeRef&) = delete;
    ~NodeRef() {
        if (node_) vsapi_->freeNode(node_);
    }
    VSNode* Get() const { return node_; }

private:
    VSNode* node_;
    const VSAPI* vsapi_;
};

// Takes over one reference to each clip, also when its buffers cannot be had.
struct Filter {
    Filter(VSNode* clip, VSNode* segmentation, const VSVideoInfo& info,
           const engine::FilterSettings& settings, const VSAPI* vsapi)
        : node(clip, vsapi),
          sclip(segmentation, vsapi),
          vi(info),
          plan(FindFormat(info.format), info.width, info.height, settings),
          pool(info.width, info.height, plan.Samples()) {}

    // First, so that they are released when a later member fails to be made.
    NodeRef node;
    NodeRef sclip;  // null: the clip segments itself
    const VSVideoInfo vi;
    const engine::FramePlan plan;
    vsadapter::BufferPool pool;
};

const VSFrame* VS_CC GetFrame(int n, int activationReason, void* instanceData, void**,
                              VSFrameContext* frameCtx, VSCore* core, const VSAPI* vsapi) {
    Filter& filter = *static_cast<Filter*>(instanceData);
    VSNode* const sclip = filter.sclip.Get();
    if (activationReason == arInitial) {
        vsapi->requestFrameFilter(n, filter.node.Get(), frameCtx);
        if (sclip) vsapi->requestFrameFilter(n, sclip, frameCtx);
        return nullptr;
    }
    if (activationReason != arAllFramesReady) return nullptr;

    const VSFrame* src = vsapi->getFrameFilter(n, filter.node.Get(), frameCtx);
    const VSFrame* seg = sclip ? vsapi->getFrameFilter(n, sclip, frameCtx) : src;
    const engine::FramePlan& plan = filter.plan;
    const int planes = filter.vi.format.numPlanes;

    // Planes nothing is done to are the source's, shared rather than copied; the source's
    // properties come along.
    const VSFrame* planeSrc[3] = {};
    const int planeIndex[3] = {0, 1, 2};
    for (int p = 0; p < planes; ++p)
        if (!plan.PlaneProcessed(p)) planeSrc[p] = src;
    VSFrame* dst = vsapi->newVideoFrame2(&filter.vi.format, filter.vi.width, filter.vi.height,
                                         planeSrc, planeIndex, src, core);

    engine::FrameRefs frame{};
    for (int p = 0; p < planes; ++p) {
        frame.src[p] = {vsapi->getReadPtr(src, p), static_cast<int>(vsapi->getStride(src, p))};
        frame.seg[p] = {vsapi->getReadPtr(seg, p), static_cast<int>(vsapi->getStride(seg, p))};
        // A write pointer to a shared plane would make the host copy it.
        if (plan.PlaneProcessed(p))
            frame.dst[p] = {vsapi->getWritePtr(dst, p), static_cast<int>(vsapi->getStride(dst, p))};
    }

    bool rendered = true;
    try {
        const vsadapter::BufferPool::Lease buffers = filter.pool.Acquire();
        // Planes left alone are already the source frame's own: nothing to copy.
        engine::RenderFrame(plan, *buffers, frame,
                            [](uint8_t*, ptrdiff_t, const uint8_t*, ptrdiff_t, int, int) {});
    } catch (const std::bad_alloc&) {
        char text[80];
        std::snprintf(text, sizeof text, engine::kOutOfMemoryAtFrame, n);
        vsapi->setFilterError(text, frameCtx);
        rendered = false;
    }
    if (seg != src) vsapi->freeFrame(seg);
    vsapi->freeFrame(src);
    if (!rendered) {
        vsapi->freeFrame(dst);
        return nullptr;
    }
    return dst;
}

void VS_CC FreeFilter(void* instanceData, VSCore*, const VSAPI*) {
    delete static_cast<Filter*>(instanceData);
}

// The integer arguments as given; `useclip` is not registered (giving sclip sets it).
engine::FilterSettings ReadSettings(const VSMap* in, const VSAPI* vsapi) {
    return engine::ReadSettings([&](int, const engine::ArgumentRule& argument) {
        std::optional<int64_t> given;
        int error = 0;
        const int64_t value = vsapi->mapGetInt(in, argument.name, 0, &error);
        if (!error && !argument.impliedBySclip) given = value;
        return given;
    });
}

void VS_CC CreateBasinLift(const VSMap* in, VSMap* out, void*, VSCore* core, const VSAPI* vsapi) {
    // The host has checked names, types and that the clip is there.
    NodeRef node(vsapi->mapGetNode(in, engine::kArguments[engine::kArgClip].name, 0, nullptr),
                 vsapi);
    int absent = 0;
    NodeRef sclip(vsapi->mapGetNode(in, engine::kArguments[engine::kArgSclip].name, 0, &absent),
                  vsapi);
    const VSVideoInfo& vi = *vsapi->getVideoInfo(node.Get());
    engine::FilterSettings settings = ReadSettings(in, vsapi);
    // Giving sclip is what asks for segmenting on it.
    settings.useclip = sclip.Get() != nullptr;
    const engine::ArgumentRule& c4Spec = engine::kArguments[engine::kArgC4];
    int c4Missing = 0;
    const int64_t c4 = vsapi->mapGetInt(in, c4Spec.name, 0, &c4Missing);

    std::string refusal = HostRefusal(vi, c4Missing ? c4Spec.defaultValue : c4, vsapi);
    if (refusal.empty()) {
        const engine::ClipFacts facts{FindFormat(vi.format), vi.width, vi.height, vi.numFrames};
        engine::SclipFacts sclipFacts{};
        sclipFacts.given = sclip.Get() != nullptr;
        // Passing the clip itself is refused as the other hosts refuse it; it would only
        // segment the clip twice over.
        sclipFacts.sameAsInput = sclip.Get() == node.Get();
        const VSVideoInfo* svi = sclip.Get() ? vsapi->getVideoInfo(sclip.Get()) : nullptr;
        if (svi) {
            sclipFacts.facts = {FindFormat(svi->format), svi->width, svi->height, svi->numFrames};
            sclipFacts.sameFormat = ConstantFormat(*svi) && SameFormat(svi->format, vi.format);
        }
        if (const char* failed = engine::FirstFailedCheck(facts, settings, sclipFacts,
                                                          engine::HostRules::VapourSynth)) {
            refusal = engine::RefusalText(failed);
            // The other hosts' text, then what differs, which that text leaves the user to find.
            if (failed == engine::kSclipDiffersRefusal)
                refusal += " (clip: " + Describe(vi, vsapi) + "; sclip: " + Describe(*svi, vsapi) + ")";
        }
    }
    if (!refusal.empty()) {
        vsapi->mapSetError(out, refusal.c_str());
        return;
    }

    Filter* filter = nullptr;
    try {
        filter = new Filter(vsapi->addNodeRef(node.Get()),
                            sclip.Get() ? vsapi->addNodeRef(sclip.Get()) : nullptr, vi, settings,
                            vsapi);
    } catch (const std::bad_alloc&) {
        vsapi->mapSetError(out, engine::kOutOfMemoryRefusal);
        return;
    }
    // Frame n of each clip makes frame n, and nothing else.
    const VSFilterDependency deps[2] = {{filter->node.Get(), rpStrictSpatial},
                                        {filter->sclip.Get(), rpStrictSpatial}};
    vsapi->createVideoFilter(out, engine::kFunctionName, &filter->vi, GetFrame, FreeFilter,
                             fmParallel, deps, filter->sclip.Get() ? 2 : 1, filter, core);
    // A filter the host turned down is never freed by it.
    if (vsapi->mapGetError(out)) delete filter;
}

}  // namespace

VS_EXTERNAL_API(void) VapourSynthPluginInit2(VSPlugin* plugin, const VSPLUGINAPI* vspapi) {
    vspapi->configPlugin("com.basinlift.basinlift", "basinlift",
                         "BasinLift: smoothing within watershed regions",
                         VS_MAKE_VERSION(BASINLIFT_VERSION_MAJOR, BASINLIFT_VERSION_MINOR),
                         VAPOURSYNTH_API_VERSION, 0, plugin);
    vspapi->registerFunction(engine::kFunctionName, engine::VapourSynthSignature().c_str(),
                             "clip:vnode;", CreateBasinLift, nullptr, plugin);
}
