// Frames per second of the plug-in inside the real VapourSynth, on 1080p 4:2:0 whose planes are
// the benchmark's synthetic 1080p content (flat areas, edges, gradients and grain), with the
// core's worker threads set to 1 and to 2. Twice as many frames as threads are kept requested,
// the next one asked for as each arrives (vspipe keeps as many as threads), so that no thread
// waits for a request. The source hands out one prepared frame, so the time is the filter's.
//
// Usage: vs_bench [PLUGIN] [FRAMES] [RUNS]   (defaults: the built plug-in, 60 frames, best of 3)
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "synthetic_channel.h"
#include "vs_session.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

// Keeps `inFlight` frames requested until `total` have arrived.
class Pump {
public:
    Pump(const VSAPI* api, VSNode* node, int total, int inFlight)
        : api_(api), node_(node), total_(total) {
        // Counted before asking, and asked without the lock: a frame may arrive at once.
        const int first = std::min(total, inFlight);
        next_ = first;
        for (int n = 0; n < first; ++n) api->getFrameAsync(n, node, Done, this);
        std::unique_lock<std::mutex> lock(mutex_);
        finished_.wait(lock, [this] { return arrived_ == total_; });
    }
    const std::string& Error() const { return error_; }

private:
    static void VS_CC Done(void* self, const VSFrame* frame, int, VSNode*, const char* error) {
        auto& me = *static_cast<Pump*>(self);
        me.api_->freeFrame(frame);
        std::lock_guard<std::mutex> lock(me.mutex_);
        if (!frame && me.error_.empty()) me.error_ = error ? error : "no frame";
        if (me.next_ < me.total_) me.api_->getFrameAsync(me.next_++, me.node_, Done, self);
        if (++me.arrived_ == me.total_) me.finished_.notify_one();
    }

    const VSAPI* api_;
    VSNode* node_;
    const int total_;
    int next_ = 0;
    int arrived_ = 0;
    std::string error_;
    std::mutex mutex_;
    std::condition_variable finished_;
};

// The best frames per second of `runs` runs over `frames` frames.
double Measure(const std::string& plugin, int threads, const char* arguments, int frames, int runs) {
    vstest::Session session(plugin, threads);
    const VSAPI* api = session.Api();
    VSVideoInfo vi{};
    vi.format = vstest::Format(session, pfYUV420P8);
    vi.width = kWidth;
    vi.height = kHeight;
    vi.numFrames = frames;
    vi.fpsNum = 25;
    vi.fpsDen = 1;

    VSFrame* prepared = api->newVideoFrame(&vi.format, kWidth, kHeight, nullptr, session.Core());
    for (int p = 0; p < 3; ++p) {
        const int w = api->getFrameWidth(prepared, p), h = api->getFrameHeight(prepared, p);
        const std::vector<uint8_t> content = MakeSyntheticChannel(w, h);
        uint8_t* row = api->getWritePtr(prepared, p);
        for (int y = 0; y < h; ++y, row += api->getStride(prepared, p))
            std::memcpy(row, content.data() + static_cast<size_t>(y) * w, static_cast<size_t>(w));
    }
    VSNode* source = session.Source(vi, [prepared](int, VSCore*, const VSAPI* a) {
        return a->addFrameRef(prepared);
    });

    VSMap* args = api->createMap();
    api->mapSetNode(args, "clip", source, maReplace);
    for (const char* word = arguments; *word;) {
        char name[8] = "";
        int value = 0, used = 0;
        if (std::sscanf(word, " %7[a-z0-9]=%d%n", name, &value, &used) != 2) break;
        api->mapSetInt(args, name, value, maReplace);
        word += used;
        while (*word == ',' || *word == ' ') ++word;
    }

    double best = 0;
    for (int run = 0; run < runs; ++run) {
        // A new node each run, so that no frame comes from the last run's cache.
        VSNode* filtered = session.BasinLift(args);
        const auto start = std::chrono::steady_clock::now();
        const Pump pump(api, filtered, frames, 2 * threads);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        api->freeNode(filtered);
        if (!pump.Error().empty()) throw vstest::HostError(pump.Error());
        best = std::max(best, frames / took.count());
    }
    api->freeMap(args);
    api->freeNode(source);
    api->freeFrame(prepared);
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string plugin = argc > 1 ? argv[1] : BASINLIFT_VS_PLUGIN;
    const int frames = argc > 2 ? std::atoi(argv[2]) : 60;
    const int runs = argc > 3 ? std::atoi(argv[3]) : 3;
    if (frames < 1 || runs < 1) {
        std::fprintf(stderr, "usage: vs_bench [PLUGIN] [FRAMES] [RUNS]\n");
        return 2;
    }
    try {
        for (const char* arguments : {"", "smu=2, smv=2"})
            for (int threads : {1, 2})
                std::printf("1080p YUV420P8, %-12s threads %d: %6.1f frames/s (best of %d x %d frames)\n",
                            *arguments ? arguments : "defaults", threads,
                            Measure(plugin, threads, arguments, frames, runs), runs, frames);
    } catch (const vstest::HostError& failure) {
        std::fprintf(stderr, "vs_bench: %s\n", failure.what());
        return 1;
    }
    return 0;
}
