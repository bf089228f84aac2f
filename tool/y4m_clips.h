// Source clips over YUV4MPEG2 input: a file is read by frame number, from any number of
// threads at once; standard input is read in order by a StreamFeed (frame_feed.h), which
// hands each frame to the clip for the one request that will use it.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "command_line.h"
#include "source_clip.h"
#include "y4m_reader.h"

namespace cli {

class Y4mClip : public standin::SourceClip {
public:
    const media::Y4mHeader& header() const { return header_; }

    // The FRAME parameters of frame n, which this clip delivered; handed out once.
    std::string takeFrameParams(int n);

protected:
    Y4mClip(const VideoInfo& vi, const media::Y4mHeader& header, bool keepsFrameParams)
        : SourceClip(vi), header_(header), keepsFrameParams_(keepsFrameParams) {}
    ~Y4mClip() override = default;

    void keepFrameParams(int n, std::string params);

private:
    const media::Y4mHeader header_;
    const bool keepsFrameParams_;  // only the main input's are ever taken
    std::mutex mutex_;
    std::map<int, std::string> frameParams_;
};

class Y4mFileClip final : public Y4mClip {
public:
    // Counts the file's frames first (throws MediaError on a damaged file).
    static PClip open(const std::string& path, PlanarOrder order, bool keepsFrameParams);

    PVideoFrame GetFrame(int n, IScriptEnvironment* env) override;

private:
    Y4mFileClip(std::unique_ptr<media::Y4mReader> reader, const VideoInfo& vi,
                bool keepsFrameParams);
    ~Y4mFileClip() override = default;

    const std::unique_ptr<media::Y4mReader> reader_;  // only readFrameAt, which is thread-safe
};

class Y4mStreamClip final : public Y4mClip {
public:
    // The clip's length is unknown: vi.num_frames is INT_MAX.
    Y4mStreamClip(const media::Y4mHeader& header, PlanarOrder order);

    // Frame n, read by the feed, for the request that comes next for n.
    void deliver(int n, const PVideoFrame& frame, std::string params);

    PVideoFrame GetFrame(int n, IScriptEnvironment* env) override;

private:
    ~Y4mStreamClip() override = default;

    std::mutex mutex_;
    std::map<int, PVideoFrame> frames_;
};

}  // namespace cli
