// Video: INPUT as a source clip (a file read by frame number, or standard input read in
// order), one filter instance per worker over that same clip, frames written in order.
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <thread>

#include "conversion.h"
#include "frame_pipeline.h"
#include "output_target.h"
#include "plugin_host.h"
#include "progress_meter.h"
#include "y4m_frames.h"
#include "y4m_writer.h"

namespace cli {
namespace {

unsigned workerCount(const Options& options, int knownFrames) {
    unsigned threads = options.threads;
    if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
    // Each worker holds a filter with frame-sized buffers: none beyond the frame count.
    if (knownFrames >= 0)
        threads = std::min(threads, static_cast<unsigned>(std::max(knownFrames, 1)));
    return threads;
}

bool showsProgress(const Options& options) {
    return options.progress == ProgressMode::Always ||
           (options.progress == ProgressMode::Auto && isatty(STDERR_FILENO));
}

}  // namespace

void convertVideo(const Conversion& c) {
    const Options& options = c.options;
    // Declared in the order they may be destroyed in reverse: filters before their source,
    // the source before the reader it streams from.
    std::unique_ptr<media::Y4mReader> stream;
    PClip source;
    Y4mClip* input = nullptr;
    std::unique_ptr<FrameFeed> feed;
    if (options.input == "-") {
        stream = std::make_unique<media::Y4mReader>("-");
        auto* clip = new Y4mStreamClip(stream->header(), options.planarOrder);
        source = PClip(clip);
        input = clip;
        feed = std::make_unique<StreamFeed>(*stream, *clip, c.env);
    } else {
        source = Y4mFileClip::open(options.input, options.planarOrder, true);
        input = static_cast<Y4mClip*>(source.get());
        feed = std::make_unique<CountedFeed>(source->GetVideoInfo().num_frames);
    }
    const VideoInfo vi = source->GetVideoInfo();
    const standin::NamedArguments arguments =
        hostArguments(c.env, c.arguments, options.planarOrder);
    std::vector<PClip> filters;
    const unsigned workers = workerCount(options, feed->knownCount());
    for (unsigned w = 0; w < workers; ++w)
        filters.push_back(invokeFilter(c.env, source, arguments));

    OutputTarget target(options.output);
    media::Y4mWriter writer(target.stream(), target.name());
    writer.writeHeader(input->header());
    ProgressMeter progress(showsProgress(options), feed->knownCount());
    std::vector<uint8_t> scratch;
    try {
        runFramePipeline(
            *feed, workers,
            [&](unsigned worker, int n) {
                PVideoFrame frame = filters[worker]->GetFrame(n, &c.env);
                return ProcessedFrame{frame, input->takeFrameParams(n)};
            },
            [&](int, const ProcessedFrame& result) {
                writeFromFrame(writer, *result.frame.get(), vi,
                               media::Y4mFrameHeader{result.params}, scratch);
                progress.frameDone();
            });
        writer.close();
        target.commit();
    } catch (...) {
        progress.abandon();
        throw;
    }
    progress.finish();
}

}  // namespace cli
