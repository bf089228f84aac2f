// A picture: one frame, filtered (or its regions shown) once. With more cores than the one
// frame can use, its channels are filtered at once, each on a thread of its own.
#include <algorithm>
#include <thread>

#include "output_target.h"
#include "runs.h"
#include "sources.h"

namespace cli {

namespace {

// Threads for one picture: --threads, or one per core; never more than it has channels to
// filter, as each thread holds a set of working buffers.
unsigned ThreadCount(const Options& options, const FilterJob& job) {
    unsigned threads = options.threads;
    if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
    const engine::FramePlan plan(job.format, job.width, job.height, job.settings);
    unsigned processed = 0;
    for (int i = 0; i < plan.StepCount(); ++i) processed += plan.Processed(plan.Step(i));
    return std::max(1u, std::min(threads, processed));
}

}  // namespace

void RunPicture(const Run& run) {
    const Options& options = run.options;
    media::Picture picture = media::ReadPicture(options.input);
    if (picture.hasAlpha && !run.outputFormat.holdsAlpha) {
        throw UsageError(options.input + " has alpha, which " + run.outputFormat.name +
                         " cannot hold; use " + media::PictureExtensions(" or ", true));
    }
    const FilterJob job = JobOf(run, FormatOf(picture), picture.width, picture.height);
    const std::unique_ptr<SegmentationClip> sclip = OpenSegmentation(run);
    Check(job, 1, sclip.get());
    // The plug-in filters a frame on one thread, as hosts call it.
    const unsigned threads = run.plugin ? 1 : ThreadCount(options, job);
    // The engine filters every colour channel alike, so it takes the picture's rows where
    // they lie, R for B, and writes the result's the same way: the same bytes as through BGR
    // frames, without two conversions. The classic plug-in, a segmentation clip (held as a
    // BGR frame) and the regions view get frames.
    const bool inPlace = !run.plugin && !sclip && !job.regions;
    media::Picture result;
    try {
        const std::unique_ptr<FrameFilter> filter = MakeFilter(run, job, threads);
        if (inPlace) {
            const Frame source = FrameOverPicture(picture);
            result = PictureShapedAs(picture);
            Frame out = FrameOverPicture(result);
            filter->Render(0, source, source, out);
        } else {
            const FramePtr source = FrameOfPicture(picture);
            Frame out(job.format, job.width, job.height);
            const FramePtr seg = sclip ? sclip->Get(0) : source;
            filter->Render(0, *source, *seg, out);
            result = PictureOf(out);
        }
    } catch (const std::bad_alloc&) {
        if (threads > 1)
            throw OutOfMemory("out of memory with " + std::to_string(threads) +
                              " threads, each holding working buffers; fewer (--threads) "
                              "need less");
        throw;
    }
    OutputTarget target(options.output);
    run.outputFormat.write(target.Stream(), target.Name(), result,
                           options.eightBitPictures ? media::WriteDepth::EightBits
                                                    : media::WriteDepth::Picture);
    target.Commit();
}

}  // namespace cli
