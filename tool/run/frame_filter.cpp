#include "frame_filter.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <climits>
#include <cstring>
#include <optional>
#include <system_error>
#include <thread>

#include "format.h"
#include "planes.h"
#include "source_clip.h"

namespace cli {

namespace {

// ---- The engine ----

class EngineFilter final : public FrameFilter {
public:
    EngineFilter(const FilterJob& job, unsigned threads)
        : plan_(job.format, job.width, job.height, job.settings), threads_(threads) {
        if (job.regions) {
            for (unsigned t = 0; t < threads; ++t)
                painters_.emplace_back(job.width, job.height, job.format.samples, job.style);
            return;
        }
        // One thread runs the steps in turn with one set of buffers. Several share the frame's
        // steps: every processed step keeps its regions in a set of its own until it is
        // finished, and each thread that segments orders and floods in its own (see
        // RenderShared).
        for (int step = 0; step < plan_.StepCount(); ++step)
            if (plan_.Processed(plan_.Step(step))) processed_.push_back(step);
        if (threads == 1) {
            buffers_.emplace_back(job.width, job.height, job.format.samples);
            return;
        }
        // At least one set: a copy reads none, but FinishStep takes one.
        for (size_t i = 0; i < std::max<size_t>(processed_.size(), 1); ++i)
            buffers_.emplace_back(job.width, job.height, job.format.samples,
                                  engine::BufferParts::Regions);
        for (size_t i = 0; i < std::min<size_t>(threads, processed_.size()); ++i)
            flooding_.emplace_back(job.width, job.height, job.format.samples,
                                   engine::BufferParts::Flooding);
    }

    void Render(int, const Frame& src, const Frame& seg, Frame& dst) override {
        const engine::FrameRefs refs = FrameRefsOf(dst, src, seg);
        if (threads_ == 1 && painters_.empty()) {
            engine::RenderFrame(plan_, buffers_[0], refs);
            return;
        }
        if (threads_ == 1) {
            for (int step = 0; step < plan_.StepCount(); ++step) painters_[0].PaintStep(plan_, refs, step);
            return;
        }
        Work work;
        for (int step = 0; step < plan_.StepCount(); ++step)
            if (painters_.empty() && !plan_.Processed(plan_.Step(step))) work.finishable.push_back({step, -1});
        std::vector<std::thread> helpers;
        try {
            for (unsigned t = 1; t < threads_; ++t)
                helpers.emplace_back([this, &refs, &work, t] { RenderShared(refs, work, t); });
        } catch (const std::system_error&) {
            // Fewer threads than asked for: the others take the rest.
        }
        RenderShared(refs, work, 0);
        for (std::thread& helper : helpers) helper.join();
    }

private:
    // A finish to do: a band of a processed step's rows, or a whole step (band -1) to copy.
    struct Finish {
        int step;
        int band;
    };

    // What the threads of one frame share.
    struct Work {
        std::mutex mutex;
        std::condition_variable changed;
        size_t segmentsTaken = 0;      // of processed_, in order
        size_t segmentsDone = 0;
        std::vector<Finish> finishable;  // ready to be done
        int nextPainted = 0;           // the regions view's next step
    };

    // The steps of one frame on several threads. A thread takes the next segmentation while
    // one is left, since they are the long part, and otherwise a finish whose segmentation is
    // done; so three channels on two threads take about two segmentations rather than two
    // whole passes. A segmented step is finished in one band of rows per thread, so that the
    // last one's finish is shared too. Steps and bands write disjoint samples.
    void RenderShared(const engine::FrameRefs& refs, Work& work, unsigned thread) {
        if (!painters_.empty()) {
            for (int step = NextPainted(work); step < plan_.StepCount(); step = NextPainted(work))
                painters_[thread].PaintStep(plan_, refs, step);
            return;
        }
        const int bands = static_cast<int>(threads_);
        std::unique_lock<std::mutex> lock(work.mutex);
        for (;;) {
            // Only threads with flooding buffers segment; there is one per step at most.
            if (thread < flooding_.size() && work.segmentsTaken < processed_.size()) {
                const size_t slot = work.segmentsTaken++;
                lock.unlock();
                engine::SegmentStep(plan_, buffers_[slot], flooding_[thread], refs, processed_[slot]);
                lock.lock();
                ++work.segmentsDone;
                for (int band = bands - 1; band >= 0; --band)
                    work.finishable.push_back({processed_[slot], band});
                work.changed.notify_all();
            } else if (!work.finishable.empty()) {
                const Finish finish = work.finishable.back();
                work.finishable.pop_back();
                lock.unlock();
                if (finish.band < 0) {
                    engine::FinishStep(plan_, buffers_[0], refs, finish.step);
                } else {
                    const int height = plan_.Step(finish.step).height;
                    engine::FinishRows(plan_, BuffersOf(finish.step), refs, finish.step,
                                       height * finish.band / bands,
                                       height * (finish.band + 1) / bands);
                }
                lock.lock();
            } else if (work.segmentsDone == processed_.size()) {
                return;
            } else {
                work.changed.wait(lock);
            }
        }
    }

    int NextPainted(Work& work) {
        const std::lock_guard<std::mutex> lock(work.mutex);
        return work.nextPainted++;
    }

    // The set that a processed step was segmented into.
    const engine::WorkingBuffers& BuffersOf(int step) const {
        size_t slot = 0;
        while (processed_[slot] != step) ++slot;
        return buffers_[slot];
    }

    const engine::FramePlan plan_;
    const unsigned threads_;
    std::vector<int> processed_;  // the plan's processed steps
    // One thread: one Whole set. Several: a Regions set per processed step, and a Flooding
    // set per thread that segments.
    std::vector<engine::WorkingBuffers> buffers_;
    std::vector<engine::WorkingBuffers> flooding_;
    std::vector<engine::RegionPainter> painters_;
};

// ---- The classic plug-in in the stand-in host ----

// The classic clip type of a format, or none where the classic plug-in has none.
std::optional<int> ClassicPixelType(const engine::VideoFormat& format, PlanarOrder order) {
    if (format.samples.type != engine::SampleType::Byte) return std::nullopt;
    if (format.pixels == &engine::kYuv420)
        return order == PlanarOrder::YV12 ? VideoInfo::CS_YV12 : VideoInfo::CS_I420;
    if (format.pixels == &engine::kYuv422) return VideoInfo::CS_YUY2;
    if (format.pixels == &engine::kBgr24) return VideoInfo::CS_BGR24;
    if (format.pixels == &engine::kBgr32) return VideoInfo::CS_BGR32;
    return std::nullopt;
}

// The frames' planes in the host's: Y U V (or one packed plane); 4:2:2 is packed as YUY2.
class ClassicFrames {
public:
    explicit ClassicFrames(const VideoInfo& vi) : vi_(vi) {}

    PVideoFrame HostFrame(const Frame& frame, IScriptEnvironment& env) const {
        PVideoFrame host = env.NewVideoFrame(vi_);
        uint8_t* const base = host->GetWritePtr();
        if (vi_.pixel_type == VideoInfo::CS_YUY2) {
            media::PackYuy2(vi_.width, vi_.height, Source(frame, 0), Source(frame, 1),
                            Source(frame, 2), {base, host->GetPitch()});
        } else if (vi_.IsPlanar()) {
            const int planes[3] = {PLANAR_Y, PLANAR_U, PLANAR_V};
            for (int p = 0; p < 3; ++p)
                Copy(frame.Plane(p), host->GetWritePtr(planes[p]), host->GetPitch(planes[p]));
        } else {
            Copy(frame.Plane(0), base, host->GetPitch());
        }
        return host;
    }

    void ToFrame(const VideoFrame& host, Frame& frame) const {
        if (vi_.pixel_type == VideoInfo::CS_YUY2) {
            media::UnpackYuy2(vi_.width, vi_.height, {host.GetReadPtr(), host.GetPitch()},
                              Dest(frame, 0), Dest(frame, 1), Dest(frame, 2));
        } else if (vi_.IsPlanar()) {
            const int planes[3] = {PLANAR_Y, PLANAR_U, PLANAR_V};
            for (int p = 0; p < 3; ++p) CopyBack(host.GetReadPtr(planes[p]), host.GetPitch(planes[p]), frame.Plane(p));
        } else {
            CopyBack(host.GetReadPtr(), host.GetPitch(), frame.Plane(0));
        }
    }

private:
    static media::PlaneSource Source(const Frame& f, int p) {
        return {f.Plane(p).data, static_cast<int>(f.Plane(p).pitch)};
    }
    static media::PlaneDest Dest(const Frame& f, int p) {
        return {f.Plane(p).data, static_cast<int>(f.Plane(p).pitch)};
    }
    static void Copy(const FramePlane& from, uint8_t* to, int pitch) {
        for (int y = 0; y < from.rows; ++y)
            std::memcpy(to + static_cast<ptrdiff_t>(y) * pitch, from.data + y * from.pitch,
                        static_cast<size_t>(from.rowBytes));
    }
    static void CopyBack(const uint8_t* from, int pitch, const FramePlane& to) {
        for (int y = 0; y < to.rows; ++y)
            std::memcpy(to.data + y * to.pitch, from + static_cast<ptrdiff_t>(y) * pitch,
                        static_cast<size_t>(to.rowBytes));
    }

    const VideoInfo vi_;
};

// A clip that hands the plug-in the frame the worker has set for the request it makes.
class FeedClip final : public standin::SourceClip {
public:
    explicit FeedClip(const VideoInfo& vi) : SourceClip(vi) {}
    void Set(int n, PVideoFrame frame) {
        n_ = n;
        frame_ = std::move(frame);
    }
    PVideoFrame GetFrame(int n, IScriptEnvironment* env) override {
        if (n != n_ || !frame_) env->ThrowError("the plug-in asked for frame %d while filtering %d", n, n_);
        return frame_;
    }

private:
    ~FeedClip() override = default;
    int n_ = -1;
    PVideoFrame frame_;
};

class PluginFilter final : public FrameFilter {
public:
    // With useclip, sclip is the clip of the segmentation frames.
    PluginFilter(standin::ScriptEnvironment& env, const VideoInfo& vi, bool useclip,
                 const standin::NamedArguments& arguments)
        : env_(env), frames_(vi), feed_(new FeedClip(vi)), segFeed_(new FeedClip(vi)) {
        standin::NamedArguments named = arguments;
        if (useclip) named.emplace_back(engine::kArguments[engine::kArgSclip].name, AVSValue(segFeed_));
        filter_ = env.Invoke(engine::kFunctionName, {AVSValue(feed_)}, named).AsClip();
    }

    void Render(int n, const Frame& src, const Frame& seg, Frame& dst) override {
        Feed(feed_).Set(n, frames_.HostFrame(src, env_));
        Feed(segFeed_).Set(n, &seg == &src ? PVideoFrame() : frames_.HostFrame(seg, env_));
        const PVideoFrame out = filter_->GetFrame(n, &env_);
        Feed(feed_).Set(-1, PVideoFrame());
        Feed(segFeed_).Set(-1, PVideoFrame());
        frames_.ToFrame(*out.get(), dst);
    }

private:
    static FeedClip& Feed(const PClip& clip) { return *static_cast<FeedClip*>(clip.get()); }

    standin::ScriptEnvironment& env_;
    const ClassicFrames frames_;
    const PClip feed_;
    const PClip segFeed_;
    PClip filter_;
};

}  // namespace

engine::FilterSettings SettingsOf(const std::vector<NamedArgument>& arguments) {
    return engine::ReadSettings([&](int, const engine::ArgumentRule& rule) {
        std::optional<int64_t> given;
        for (const NamedArgument& a : arguments) {
            if (!standin::EqualNoCase(a.name, rule.name)) continue;
            if (a.type == 'i') given = a.integer;
            if (a.type == 'b') given = a.boolean;
        }
        return given;
    });
}

std::string Refusal(const FilterJob& job, int frames, const engine::ClipFacts* sclip) {
    const engine::ClipFacts facts{job.format, job.width, job.height, frames};
    engine::SclipFacts sclipFacts{};
    sclipFacts.given = sclip != nullptr;
    if (sclip) {
        sclipFacts.facts = *sclip;
        sclipFacts.sameFormat = sclip->format.pixels == job.format.pixels &&
                                sclip->format.samples == job.format.samples;
    }
    const char* refusal = engine::FirstFailedCheck(facts, job.settings, sclipFacts);
    return refusal ? engine::RefusalText(refusal) : "";
}

std::unique_ptr<FrameFilter> MakeEngineFilter(const FilterJob& job, unsigned threads) {
    return std::make_unique<EngineFilter>(job, std::max(threads, 1u));
}

size_t EngineFilterBytes(const FilterJob& job) {
    const size_t pixels = static_cast<size_t>(job.width) * static_cast<size_t>(job.height);
    // The painter's per-region totals: a 64-bit sum and a 32-bit count per possible label.
    const size_t totals = job.regions ? pixels * (sizeof(uint64_t) + sizeof(uint32_t)) : 0;
    return pixels * engine::WorkingBytesPerPixel(job.format.samples) + totals;
}

std::unique_ptr<FrameFilter> MakePluginFilter(standin::ScriptEnvironment& env,
                                              const FilterJob& job, PlanarOrder order,
                                              const standin::NamedArguments& arguments) {
    const std::optional<int> pixelType = ClassicPixelType(job.format, order);
    if (!pixelType)
        throw UsageError(std::string("--plugin runs a classic plug-in, which takes 8-bit 4:2:0 and "
                                     "4:2:2 video and 8-bit pictures; this is ") +
                         engine::DepthName(job.format.samples) + " " + job.format.pixels->name);
    VideoInfo vi{};
    vi.width = job.width;
    vi.height = job.height;
    vi.fps_numerator = 25;
    vi.fps_denominator = 1;
    vi.num_frames = INT_MAX;  // frames are fed as the run asks for them
    vi.pixel_type = *pixelType;
    return std::make_unique<PluginFilter>(env, vi, job.settings.useclip, arguments);
}

}  // namespace cli
