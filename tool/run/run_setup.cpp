// What every run shares: the job from the arguments, the checks, the segmentation clip, the
// workers' filters and what they cost.
#include <thread>

#include "format.h"
#include "media_error.h"
#include "plugin_host.h"
#include "runs.h"

namespace cli {

FilterJob JobOf(const Run& run, const engine::VideoFormat& format, int width, int height) {
    FilterJob job;
    job.format = format;
    job.width = width;
    job.height = height;
    job.settings = SettingsOf(run.arguments);
    job.regions = run.options.regions;
    job.style = run.options.markBoundaries ? engine::RegionsStyle::MarkBoundaries
                                           : engine::RegionsStyle::Mosaic;
    return job;
}

SegmentationClip::SegmentationClip(const std::string& path) {
    if (media::MediaFormatOf(path).isVideo)
        video_ = std::make_unique<VideoSource>(path);
    else
        picture_ = FrameOfPicture(media::ReadPicture(path));
}

engine::ClipFacts SegmentationClip::Facts() const {
    if (video_)
        return {video_->Format(), video_->Header().width, video_->Header().height,
                video_->FrameCount()};
    return {picture_->Format(), picture_->Width(), picture_->Height(), 1};
}

FramePtr SegmentationClip::Get(int n) { return video_ ? video_->Get(n).frame : picture_; }

std::unique_ptr<SegmentationClip> OpenSegmentation(const Run& run) {
    const NamedArgument* sclip = nullptr;
    for (const NamedArgument& a : run.arguments)
        if (a.type == 'c' && standin::EqualNoCase(a.name, "sclip")) sclip = &a;
    if (!sclip) return nullptr;
    // The filter reads sclip only to segment it instead of the clip: without useclip=true the
    // file is neither opened nor checked, and the user hears that it was not used.
    if (!SettingsOf(run.arguments).useclip) {
        Warn(sclip->name + "=" + sclip->text + " is not used without useclip=true");
        return nullptr;
    }
    try {
        media::MediaFormatOf(sclip->text);
    } catch (const media::MediaError& e) {
        throw UsageError(sclip->name + "=" + sclip->text + ": " + e.what());
    }
    return std::make_unique<SegmentationClip>(sclip->text);
}

void Check(const FilterJob& job, int frames, const SegmentationClip* sclip) {
    const engine::ClipFacts facts = sclip ? sclip->Facts() : engine::ClipFacts{};
    const std::string refusal = Refusal(job, frames, sclip ? &facts : nullptr);
    if (!refusal.empty()) throw FilterRefusal(refusal);
}

std::unique_ptr<FrameFilter> MakeFilter(const Run& run, const FilterJob& job, unsigned threads) {
    if (!run.plugin) return MakeEngineFilter(job, threads);
    return MakePluginFilter(*run.plugin, job, run.options.planarOrder,
                            HostArguments(run.arguments));
}

size_t WorkerBytes(const FilterJob& job, unsigned threads) {
    size_t frame = 0;
    for (int p = 0; p < engine::PlaneCount(*job.format.pixels); ++p)
        frame += static_cast<size_t>(engine::PlaneWidth(*job.format.pixels, p, job.width)) *
                 static_cast<size_t>(engine::PlaneHeight(*job.format.pixels, p, job.height)) *
                 static_cast<size_t>(job.format.samples.Bytes());
    // Its source and destination frame (measured: what the reorder window keeps waiting is
    // mostly frames that workers already hold).
    return EngineFilterBytes(job) * threads + 2 * frame;
}

}  // namespace cli
