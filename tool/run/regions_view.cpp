#include "regions_view.h"

#include <optional>
#include <stdexcept>

#include "arguments.h"
#include "format.h"
#include "frame_plan.h"
#include "plugin_host.h"
#include "region_painter.h"

namespace cli {
namespace {

// The clip types the tool's clips have (clips.h), as the engine's formats.
const engine::PixelFormat& formatOf(int pixelType) {
    switch (pixelType) {
        case VideoInfo::CS_BGR24: return engine::kBgr24;
        case VideoInfo::CS_BGR32: return engine::kBgr32;
        case VideoInfo::CS_YUY2: return engine::kYuy2;
        case VideoInfo::CS_YV12:
        case VideoInfo::CS_I420: return engine::kYuv420;
        default: throw std::logic_error("the regions view of a clip type the tool never makes");
    }
}

// The host's planes in the plan's order: Y, U, V wherever YV12 and I420 keep them.
constexpr int kPlanarSelectors[3] = {PLANAR_Y, PLANAR_U, PLANAR_V};

// The settings the plug-in's filter was created with: the table's defaults, overridden by
// the arguments given. The plug-in has accepted them, so each has its parameter's type.
engine::FilterSettings settingsOf(const standin::NamedArguments& arguments, PClip& sclip) {
    for (const auto& [name, value] : arguments)
        if (standin::EqualNoCase(name, engine::kArguments[engine::kArgSclip].name))
            sclip = value.AsClip();
    return engine::ReadSettings([&](int, const engine::ArgumentSpec& row) {
        std::optional<int64_t> given;
        for (const auto& [name, value] : arguments)
            if (standin::EqualNoCase(name, row.name)) {
                if (row.type == engine::ArgumentType::Int) given = value.AsInt();
                if (row.type == engine::ArgumentType::Bool) given = value.AsBool();
            }
        return given;
    });
}

class RegionsViewClip final : public GenericVideoFilter {
public:
    RegionsViewClip(const PClip& input, const engine::FilterSettings& settings,
                    const PClip& sclip)
        : GenericVideoFilter(input), sclip_(sclip),
          plan_({&formatOf(vi.pixel_type), engine::kByteSamples}, vi.width, vi.height, settings),
          painter_(vi.width, vi.height, engine::kByteSamples, engine::RegionsStyle::MarkBoundaries) {}

    // One call at a time: the painter's buffers serve every frame of this view.
    PVideoFrame GetFrame(int n, IScriptEnvironment* env) override {
        const PVideoFrame src = child->GetFrame(n, env);
        const PVideoFrame seg = plan_.Useclip() ? sclip_->GetFrame(n, env) : src;
        PVideoFrame dst = env->NewVideoFrame(vi);
        engine::FrameRefs frame{};
        if (vi.IsPlanar()) {
            for (int p = 0; p < 3; ++p) {
                const int selector = kPlanarSelectors[p];
                frame.dst[p] = {dst->GetWritePtr(selector), dst->GetPitch(selector)};
                frame.src[p] = {src->GetReadPtr(selector), src->GetPitch(selector)};
                frame.seg[p] = {seg->GetReadPtr(selector), seg->GetPitch(selector)};
            }
        } else {
            frame.dst[0] = {dst->GetWritePtr(), dst->GetPitch()};
            frame.src[0] = {src->GetReadPtr(), src->GetPitch()};
            frame.seg[0] = {seg->GetReadPtr(), seg->GetPitch()};
        }
        painter_.Paint(plan_, frame);
        return dst;
    }

private:
    const PClip sclip_;
    const engine::FramePlan plan_;
    engine::RegionPainter painter_;
};

}  // namespace

std::vector<PClip> regionsViews(standin::ScriptEnvironment& env, const PClip& input,
                                const standin::NamedArguments& arguments, unsigned count) {
    invokeFilter(env, input, arguments);  // refuses what filtering refuses, in its words
    PClip sclip;
    const engine::FilterSettings settings = settingsOf(arguments, sclip);
    const PClip segmentation = settings.useclip ? sclip : input;
    std::vector<PClip> views;
    for (unsigned w = 0; w < count; ++w)
        views.push_back(PClip(new RegionsViewClip(input, settings, segmentation)));
    return views;
}

std::vector<PClip> outputClips(const Run& run, const PClip& input,
                               const standin::NamedArguments& arguments, unsigned count) {
    if (run.options.regions) return regionsViews(run.env, input, arguments, count);
    std::vector<PClip> filters;
    for (unsigned w = 0; w < count; ++w) filters.push_back(invokeFilter(run.env, input, arguments));
    return filters;
}

}  // namespace cli
