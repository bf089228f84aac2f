// Media as host clips and host frames as media: the only place where the tool implements
// clips.
//
// A YUV4MPEG2 file becomes a clip read by frame number, from any number of threads at once;
// standard input becomes a clip whose frames a StreamFeed (frame_pipeline.h) reads in order
// and hands over for the one request that will use each. 4:2:0 planes go straight into the
// planes of I420 or YV12 frames; 4:2:2 is packed into YUY2 (Y0 U Y1 V) and unpacked again.
//
// A picture becomes a clip of one frame. The host keeps RGB frames bottom-up (the first row
// in memory is the picture's bottom row) with the channels in B G R (A) order; pictures are
// top-down R G B (A). The watershed's border and order rules make the filter's result
// depend on orientation, so only this layout matches what the real host would produce.
#pragma once

#include <avisynth.h>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "command_line.h"
#include "picture.h"
#include "source_clip.h"
#include "y4m_io.h"

namespace cli {

// ---- Video ----

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

    // Reads the reader's next frame into a new frame of env and keeps it for the request
    // that comes next for it. Returns false at the end of the stream. Throws MediaError or
    // AvisynthError.
    bool readNext(media::Y4mReader& reader, IScriptEnvironment& env);

    PVideoFrame GetFrame(int n, IScriptEnvironment* env) override;

private:
    ~Y4mStreamClip() override = default;

    std::mutex mutex_;
    std::map<int, PVideoFrame> frames_;
};

// Writes frame (of clip type vi.pixel_type) as the next frame of writer. scratch holds
// unpacked 4:2:2 planes.
void writeFromFrame(media::Y4mWriter& writer, const VideoFrame& frame, const VideoInfo& vi,
                    const media::Y4mFrameHeader& frameHeader, std::vector<uint8_t>& scratch);

// ---- Pictures ----

// A one-frame clip of the picture: BGR24 for RGB, BGR32 for RGBA.
PClip pictureClip(IScriptEnvironment& env, const media::Picture& picture);

// The picture a BGR24 (hasAlpha false) or BGR32 frame shows.
media::Picture frameToPicture(const VideoFrame& frame, int width, int height, bool hasAlpha);

// ---- Either ----

// A clip of a file (not standard input), by its type. Throws MediaError.
PClip openClip(IScriptEnvironment& env, const std::string& path, PlanarOrder order);

}  // namespace cli
