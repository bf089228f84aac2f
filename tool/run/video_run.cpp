// Video: INPUT read by frame number (a file) or in order (standard input), one filter per
// worker, frames written in order.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <memory>
#include <new>
#include <string>
#include <thread>

#include "frame_pipeline.h"
#include "media_error.h"
#include "output_target.h"
#include "runs.h"
#include "sources.h"
#include "termination_signals.h"

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

    void FrameDone();
    // The summary line: frames, seconds, frames per second.
    void Finish();
    // Ends a drawn line, so that an error message starts on a line of its own.
    void Abandon();

private:
    using Clock = std::chrono::steady_clock;
    double SecondsSinceStart() const;
    void Draw();

    const bool enabled_;
    const int total_;
    const Clock::time_point start_;
    Clock::time_point lastDrawn_;
    int done_ = 0;
    bool lineOpen_ = false;
};

double ProgressMeter::SecondsSinceStart() const {
    return std::chrono::duration<double>(Clock::now() - start_).count();
}

void ProgressMeter::FrameDone() {
    ++done_;
    if (!enabled_) return;
    const Clock::time_point now = Clock::now();
    // The first frame at once, so that a slow run shows it has started.
    if (now - lastDrawn_ < kRedrawInterval && done_ != total_ && done_ != 1) return;
    lastDrawn_ = now;
    Draw();
}

void ProgressMeter::Draw() {
    const double seconds = SecondsSinceStart();
    const double fps = seconds > 0 ? done_ / seconds : 0;
    // Trailing spaces wipe what a longer earlier line left.
    if (total_ >= 0) {
        const double left = fps > 0 ? (total_ - done_) / fps : 0;
        std::fprintf(stderr, "\rframe %d/%d  %.1f fps  %.0f s left    ", done_, total_, fps, left);
    } else {
        std::fprintf(stderr, "\rframe %d  %.1f fps    ", done_, fps);
    }
    lineOpen_ = true;
    SetLineOpenOnStandardError(true);
}

void ProgressMeter::Finish() {
    if (!enabled_) return;
    Abandon();
    const double seconds = SecondsSinceStart();
    std::fprintf(stderr, "%d frames in %.2f s (%.1f fps)\n", done_, seconds,
                 seconds > 0 ? done_ / seconds : 0.0);
}

void ProgressMeter::Abandon() {
    SetLineOpenOnStandardError(false);
    if (lineOpen_) std::fputc('\n', stderr);
    lineOpen_ = false;
}

unsigned WorkerCount(const Options& options, int knownFrames) {
    unsigned threads = options.threads;
    if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
    // Each worker holds a filter with frame-sized buffers: none beyond the frame count.
    if (knownFrames >= 0)
        threads = std::min(threads, static_cast<unsigned>(std::max(knownFrames, 1)));
    return threads;
}

// Workers well beyond the cores only cost memory: each holds its own filter and frames.
void WarnOfTooManyWorkers(unsigned workers, const FilterJob& job) {
    const unsigned cores = std::thread::hardware_concurrency();
    if (cores == 0 || workers <= 2 * cores) return;
    const double megabytes = static_cast<double>(WorkerBytes(job, 1)) / (1 << 20);
    char message[160];
    std::snprintf(message, sizeof message,
                  "%u workers on %u cores: each holds about %.0f MB for this video, and more "
                  "workers than cores add no speed",
                  workers, cores, megabytes);
    Warn(message);
}

bool ShowsProgress(const Options& options) {
    return options.progress == ProgressMode::Always ||
           (options.progress == ProgressMode::Auto && isatty(STDERR_FILENO));
}

}  // namespace

void RunVideo(const Run& run) {
    const Options& options = run.options;
    const FrameRange range = options.frames.value_or(FrameRange{0, INT_MAX - 1});
    const auto startsPastTheEnd = [&](const std::string& name, int frames) {
        media::ThrowMediaError(name, "--frames starts at frame " + std::to_string(range.first) +
                                         ", but the video has only " + std::to_string(frames) +
                                         " frames");
    };
    VideoSource source(options.input);
    std::unique_ptr<FrameFeed> feed;
    if (source.IsStream()) {
        media::Y4mReader& stream = source.Reader();
        // Before OUTPUT is touched, so that a range past the end leaves it alone.
        for (int n = 0; n < range.first; ++n)
            if (!stream.SkipFrame()) startsPastTheEnd(stream.Name(), n);
        if (options.frames && stream.AtEnd()) startsPastTheEnd(stream.Name(), range.first);
        feed = std::make_unique<StreamFeed>(source, range.first, range.Count());
    } else {
        const int count = source.FrameCount();
        if (options.frames && range.first >= count) startsPastTheEnd(options.input, count);
        feed = std::make_unique<CountedFeed>(std::min(range.last, count - 1) - range.first + 1);
    }
    const media::Y4mHeader header = source.Header();
    const FilterJob job = JobOf(run, source.Format(), header.width, header.height);
    const std::unique_ptr<SegmentationClip> sclip = OpenSegmentation(run);
    Check(job, source.FrameCount(), sclip.get());
    const int knownFrames = options.frames && feed->KnownCount() < 0 ? range.Count()
                                                                     : feed->KnownCount();
    const unsigned workers = WorkerCount(options, knownFrames);
    WarnOfTooManyWorkers(workers, job);
    const auto outOfMemory = [&] {
        if (workers > 1)
            throw OutOfMemory("out of memory with " + std::to_string(workers) +
                              " workers, each holding a filter and frames; fewer "
                              "(--threads) need less");
        throw;
    };
    std::vector<std::unique_ptr<FrameFilter>> filters;
    std::shared_ptr<FramePool> results;
    try {
        for (unsigned w = 0; w < workers; ++w) filters.push_back(MakeFilter(run, job, 1));
        results = std::make_shared<FramePool>(job.format, job.width, job.height);
    } catch (const std::bad_alloc&) {
        outOfMemory();
    }

    OutputTarget target(options.output);
    media::Y4mWriter writer(target.Stream(), target.Name());
    writer.WriteHeader(header);
    ProgressMeter progress(ShowsProgress(options), feed->KnownCount());
    try {
        RunFramePipeline(
            *feed, workers,
            [&](unsigned worker, int n) {
                const int frame = range.first + n;
                SourceFrame src = source.Get(frame);
                const FramePtr seg = sclip ? sclip->Get(frame) : src.frame;
                FramePtr dst = results->Acquire();
                filters[worker]->Render(frame, *src.frame, *seg, *dst);
                return ProcessedFrame{std::move(dst), std::move(src.params)};
            },
            [&](int, const ProcessedFrame& result) {
                WriteFrame(writer, *result.frame, result.params);
                progress.FrameDone();
            });
        writer.Close();
        target.Commit();
    } catch (const std::bad_alloc&) {
        progress.Abandon();
        outOfMemory();
    } catch (...) {
        progress.Abandon();
        throw;
    }
    progress.Finish();
}

}  // namespace cli
