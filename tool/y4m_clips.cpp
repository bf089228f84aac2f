#include "y4m_clips.h"

#include <climits>
#include <exception>
#include <new>

#include "y4m_frames.h"

namespace cli {

std::string Y4mClip::takeFrameParams(int n) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = frameParams_.find(n);
    if (it == frameParams_.end()) return "";
    std::string params = std::move(it->second);
    frameParams_.erase(it);
    return params;
}

void Y4mClip::keepFrameParams(int n, std::string params) {
    if (!keepsFrameParams_) return;
    std::lock_guard<std::mutex> lock(mutex_);
    frameParams_[n] = std::move(params);
}

PClip Y4mFileClip::open(const std::string& path, PlanarOrder order, bool keepsFrameParams) {
    auto reader = std::make_unique<media::Y4mReader>(path);
    const int count = reader->countFrames();
    const VideoInfo vi = videoInfoOf(reader->header(), order, count);
    return PClip(new Y4mFileClip(std::move(reader), vi, keepsFrameParams));
}

Y4mFileClip::Y4mFileClip(std::unique_ptr<media::Y4mReader> reader, const VideoInfo& vi,
                         bool keepsFrameParams)
    : Y4mClip(vi, reader->header(), keepsFrameParams), reader_(std::move(reader)) {}

PVideoFrame Y4mFileClip::GetFrame(int n, IScriptEnvironment* env) {
    const int index = ClampFrame(n, env);
    PVideoFrame frame = env->NewVideoFrame(vi_);
    media::Y4mFrameHeader frameHeader;
    bool failed = false;
    std::string failure;
    try {
        readIntoFrame(
            *frame.get(), vi_,
            [&](const media::PlaneDest& y, const media::PlaneDest& u, const media::PlaneDest& v) {
                reader_->readFrameAt(index, frameHeader, y, u, v);
            });
    } catch (const std::exception& e) {
        failed = true;
        failure = e.what();
    }
    if (failed) {
        frame = PVideoFrame();
        env->ThrowError("%s", failure.c_str());  // how a clip reports failure to the host
    }
    keepFrameParams(index, std::move(frameHeader.params));
    return frame;
}

Y4mStreamClip::Y4mStreamClip(const media::Y4mHeader& header, PlanarOrder order)
    : Y4mClip(videoInfoOf(header, order, INT_MAX), header, true) {}

void Y4mStreamClip::deliver(int n, const PVideoFrame& frame, std::string params) {
    keepFrameParams(n, std::move(params));
    std::lock_guard<std::mutex> lock(mutex_);
    frames_[n] = frame;
}

PVideoFrame Y4mStreamClip::GetFrame(int n, IScriptEnvironment* env) {
    PVideoFrame frame;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto it = frames_.find(n);
        if (it != frames_.end()) {
            frame = it->second;
            frames_.erase(it);
        }
    }
    // A stream cannot go back: each frame serves the one request it was read for.
    if (!frame) env->ThrowError("standard input: frame %d was requested out of order", n);
    return frame;
}

}  // namespace cli
