#include "frame_feed.h"

#include <exception>

#include "y4m_frames.h"

namespace cli {

int CountedFeed::next() {
    // Stops at count_ whatever the number of callers, so numbers never wrap.
    int n = next_.load();
    while (n < count_ && !next_.compare_exchange_weak(n, n + 1)) {
    }
    return n < count_ ? n : -1;
}

int StreamFeed::next() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (ended_) return -1;
    const int n = reader_.nextFrameNumber();
    ended_ = true;  // unless the frame below is read whole
    std::string failure;
    try {
        const VideoInfo& vi = clip_.GetVideoInfo();
        PVideoFrame frame = env_.NewVideoFrame(vi);
        media::Y4mFrameHeader frameHeader;
        bool got = false;
        readIntoFrame(
            *frame.get(), vi,
            [&](const media::PlaneDest& y, const media::PlaneDest& u, const media::PlaneDest& v) {
                got = reader_.readFrame(frameHeader, y, u, v);
            });
        if (!got) return -1;
        clip_.deliver(n, frame, std::move(frameHeader.params));
        ended_ = false;
        return n;
    } catch (const std::exception& e) {
        failure = e.what();
    } catch (const AvisynthError& e) {
        failure = e.msg;
    }
    throw FrameFailure(n, failure);
}

}  // namespace cli
