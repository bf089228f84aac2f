// Video: INPUT as a source clip (a file read by frame number, or standard input read in
// order), one filter instance per worker over that same clip, frames written in order.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <memory>
#include <new>
#include <string>
#include <thread>

#include "clips.h"
#include "frame_pipeline.h"
#include "media_error.h"
#include "output_target.h"
#include "plugin_host.h"
#include "regions_view.h"
#include "runs.h"

namespace cli {
namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(250);

// The progress line on stderr: frames done, frames per second, and with a known length the
// total and the time left; redrawn in place with '\r' at most a few times a second, and
// closed by a summary line.
class ProgressMeter {
public:
    // total: -1 when unknown. A disabled meter prints nothing.
    ProgressMeter(bool enabled, int total)
        : enabled_(enabled), total_(total), start_(Clock::now()), lastDrawn_(start_) {}

    void frameDone();
    // The summary line: frames, seconds, frames per second.
    void finish();
    // Ends a drawn line, so that an error message starts on a line of its own.
    void abandon();

private:
    using Clock = std::chrono::steady_clock;
    double secondsSinceStart() const;
    void draw();

    const bool enabled_;
    const int total_;
    const Clock::time_point start_;
    Clock::time_point lastDrawn_;
    int done_ = 0;
    bool lineOpen_ = false;
};

double ProgressMeter::secondsSinceStart() const {
    return std::chrono::duration<double>(Clock::now() - start_).count();
}

void ProgressMeter::frameDone() {
    ++done_;
    if (!enabled_) return;
    const Clock::time_point now = Clock::now();
    if (now - lastDrawn_ < kRedrawInterval && done_ != total_) return;
    lastDrawn_ = now;
    draw();
}

void ProgressMeter::draw() {
    const double seconds = secondsSinceStart();
    const double fps = seconds > 0 ? done_ / seconds : 0;
    // Trailing spaces wipe what a longer earlier line left.
    if (total_ >= 0) {
        const double left = fps > 0 ? (total_ - done_) / fps : 0;
        std::fprintf(stderr, "\rframe %d/%d  %.1f fps  %.0f s left    ", done_, total_, fps, left);
    } else {
        std::fprintf(stderr, "\rframe %d  %.1f fps    ", done_, fps);
    }
    lineOpen_ = true;
}

void ProgressMeter::finish() {
    if (!enabled_) return;
    abandon();
    const double seconds = secondsSinceStart();
    std::fprintf(stderr, "%d frames in %.2f s (%.1f fps)\n", done_, seconds,
                 seconds > 0 ? done_ / seconds : 0.0);
}

void ProgressMeter::abandon() {
    if (lineOpen_) std::fputc('\n', stderr);
    lineOpen_ = false;
}

unsigned workerCount(const Options& options, int knownFrames) {
    unsigned threads = options.threads;
    if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
    // Each worker holds a filter with frame-sized buffers: none beyond the frame count.
    if (knownFrames >= 0)
        threads = std::min(threads, static_cast<unsigned>(std::max(knownFrames, 1)));
    return threads;
}

// What one worker holds: the plug-in's working buffers (14 bytes per pixel) and the frames
// it has in flight in the reorder window, source and filtered; measured on 4:2:0 video.
constexpr double kWorkerBytesPerPixel = 22;

// Workers well beyond the cores only cost memory: each holds its own filter and frames.
void warnOfTooManyWorkers(unsigned workers, const VideoInfo& vi) {
    const unsigned cores = std::thread::hardware_concurrency();
    if (cores == 0 || workers <= 2 * cores) return;
    const double megabytes = kWorkerBytesPerPixel * vi.width * vi.height / (1 << 20);
    char message[160];
    std::snprintf(message, sizeof message,
                  "%u workers on %u cores: each holds about %.0f MB for this video, and more "
                  "workers than cores add no speed",
                  workers, cores, megabytes);
    warn(message);
}

bool showsProgress(const Options& options) {
    return options.progress == ProgressMode::Always ||
           (options.progress == ProgressMode::Auto && isatty(STDERR_FILENO));
}

}  // namespace

void runVideo(const Run& run) {
    const Options& options = run.options;
    const FrameRange range = options.frames.value_or(FrameRange{0, INT_MAX - 1});
    const auto startsPastTheEnd = [&](const std::string& name, int frames) {
        media::throwMediaError(name, "--frames starts at frame " + std::to_string(range.first) +
                                         ", but the video has only " + std::to_string(frames) +
                                         " frames");
    };
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
        // Before OUTPUT is touched, so that a range past the end leaves it alone.
        for (int n = 0; n < range.first; ++n)
            if (!stream->skipFrame()) startsPastTheEnd(stream->name(), n);
        if (options.frames && stream->atEnd()) startsPastTheEnd(stream->name(), range.first);
        feed = std::make_unique<StreamFeed>(*stream, *clip, run.env, range.first,
                                            range.count());
    } else {
        source = Y4mFileClip::open(options.input, options.planarOrder, true);
        input = static_cast<Y4mClip*>(source.get());
        const int count = source->GetVideoInfo().num_frames;
        if (options.frames && range.first >= count) startsPastTheEnd(options.input, count);
        feed = std::make_unique<CountedFeed>(std::min(range.last, count - 1) - range.first + 1);
    }
    const VideoInfo vi = source->GetVideoInfo();
    const standin::NamedArguments arguments =
        hostArguments(run.env, run.arguments, options.planarOrder);
    const int knownFrames = options.frames && feed->knownCount() < 0 ? range.count()
                                                                     : feed->knownCount();
    const unsigned workers = workerCount(options, knownFrames);
    warnOfTooManyWorkers(workers, vi);
    const std::vector<PClip> filters = outputClips(run, source, arguments, workers);

    OutputTarget target(options.output);
    media::Y4mWriter writer(target.stream(), target.name());
    writer.writeHeader(input->header());
    ProgressMeter progress(showsProgress(options), feed->knownCount());
    std::vector<uint8_t> scratch;
    try {
        runFramePipeline(
            *feed, workers,
            [&](unsigned worker, int n) {
                PVideoFrame frame = filters[worker]->GetFrame(range.first + n, &run.env);
                return ProcessedFrame{frame, input->takeFrameParams(range.first + n)};
            },
            [&](int, const ProcessedFrame& result) {
                writeFromFrame(writer, *result.frame.get(), vi,
                               media::Y4mFrameHeader{result.params}, scratch);
                progress.frameDone();
            });
        writer.close();
        target.commit();
    } catch (const std::bad_alloc&) {
        progress.abandon();
        if (workers > 1)
            throw OutOfMemory("out of memory with " + std::to_string(workers) +
                              " workers, each holding a filter and frames; fewer "
                              "(--threads) need less");
        throw;
    } catch (...) {
        progress.abandon();
        throw;
    }
    progress.finish();
}

}  // namespace cli
