#include "frame_pipeline.h"

#include <climits>
#include <condition_variable>
#include <exception>
#include <map>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

namespace cli {

int CountedFeed::Next() {
    // Stops at count_ whatever the number of callers, so numbers never wrap.
    int n = next_.load();
    while (n < count_ && !next_.compare_exchange_weak(n, n + 1)) {
    }
    return n < count_ ? n : -1;
}

int StreamFeed::Next() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (ended_) return -1;
    const int n = source_.Reader().NextFrameNumber() - first_;
    ended_ = true;  // unless the frame below is read whole
    if (n >= limit_) return -1;
    try {
        if (!source_.ReadNext()) return -1;
    } catch (...) {
        throw FrameFailure{n, std::current_exception()};
    }
    ended_ = false;
    return n;
}

namespace {

class FramePipeline {
public:
    FramePipeline(FrameFeed& feed, unsigned workers, const ProcessFrame& process)
        : feed_(feed), process_(process), window_(2 * static_cast<int>(workers)) {}

    void Work(unsigned worker);
    // The next frame in order, or false at the end; throws the lowest failure.
    bool NextInOrder(int& n, ProcessedFrame& frame);
    void Delivered();
    void Cancel();

private:
    bool Reserve();
    void Finish(int n, ProcessedFrame frame);
    void Fail(int n, std::exception_ptr failure);

    FrameFeed& feed_;
    const ProcessFrame& process_;
    const int window_;

    std::mutex mutex_;
    std::condition_variable changed_;
    int started_ = 0;    // frames taken by workers, or being taken
    int delivered_ = 0;  // frames handed to deliver, which are frames 0 to delivered_ - 1
    bool inputEnded_ = false;
    bool cancelled_ = false;
    int failedFrame_ = INT_MAX;
    std::exception_ptr failure_;
    std::map<int, ProcessedFrame> ready_;
};

bool FramePipeline::Reserve() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] {
        return cancelled_ || inputEnded_ || failedFrame_ != INT_MAX ||
               started_ - delivered_ < window_;
    });
    // After a failure every new frame would come after the failing one: none is started.
    if (cancelled_ || inputEnded_ || failedFrame_ != INT_MAX) return false;
    ++started_;
    return true;
}

void FramePipeline::Work(unsigned worker) {
    while (Reserve()) {
        int n = -1;
        try {
            n = feed_.Next();
            if (n < 0) {
                std::lock_guard<std::mutex> lock(mutex_);
                --started_;
                inputEnded_ = true;
                changed_.notify_all();
                return;
            }
            Finish(n, process_(worker, n));
        } catch (const FrameFailure& e) {
            Fail(e.frame, e.cause);
            return;
        } catch (...) {
            Fail(n, std::current_exception());
            return;
        }
    }
}

void FramePipeline::Finish(int n, ProcessedFrame frame) {
    std::lock_guard<std::mutex> lock(mutex_);
    ready_.emplace(n, std::move(frame));
    changed_.notify_all();
}

void FramePipeline::Fail(int n, std::exception_ptr failure) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (n < failedFrame_) {
        failedFrame_ = n;
        failure_ = std::move(failure);
    }
    changed_.notify_all();
}

bool FramePipeline::NextInOrder(int& n, ProcessedFrame& frame) {
    std::unique_lock<std::mutex> lock(mutex_);
    // Every frame below delivered_ + window_ that was started ends ready or failed.
    changed_.wait(lock, [&] {
        return ready_.count(delivered_) != 0 || failedFrame_ <= delivered_ ||
               (inputEnded_ && started_ == delivered_);
    });
    const auto it = ready_.find(delivered_);
    if (it == ready_.end()) {
        // A failure with no frame number (-1) came from the feed itself; it stops the run too.
        if (failedFrame_ <= delivered_) std::rethrow_exception(failure_);
        return false;
    }
    n = delivered_;
    frame = std::move(it->second);
    ready_.erase(it);
    return true;
}

void FramePipeline::Delivered() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++delivered_;
    changed_.notify_all();
}

void FramePipeline::Cancel() {
    std::lock_guard<std::mutex> lock(mutex_);
    cancelled_ = true;
    changed_.notify_all();
}

// Stops and joins the workers however the delivery loop ends.
class Workers {
public:
    Workers(FramePipeline& pipeline, unsigned count) : pipeline_(pipeline) {
        try {
            for (unsigned w = 0; w < count; ++w)
                threads_.emplace_back([&pipeline, w] { pipeline.Work(w); });
        } catch (const std::system_error&) {
            // No memory for another thread's stack, or a limit on threads: the same
            // remedy as any other lack of memory, fewer workers.
            Stop();
            throw std::bad_alloc();
        } catch (...) {
            Stop();
            throw;
        }
    }
    ~Workers() { Stop(); }
    Workers(const Workers&) = delete;
    Workers& operator=(const Workers&) = delete;

private:
    void Stop() {
        pipeline_.Cancel();
        for (std::thread& t : threads_)
            if (t.joinable()) t.join();
    }

    FramePipeline& pipeline_;
    std::vector<std::thread> threads_;
};

}  // namespace

void RunFramePipeline(FrameFeed& feed, unsigned workers, const ProcessFrame& process,
                      const DeliverFrame& deliver) {
    FramePipeline pipeline(feed, workers, process);
    Workers running(pipeline, workers);
    int n = 0;
    ProcessedFrame frame;
    while (pipeline.NextInOrder(n, frame)) {
        deliver(n, frame);
        frame = ProcessedFrame();  // the frame goes back to its pool before the next wait
        pipeline.Delivered();
    }
}

}  // namespace cli
