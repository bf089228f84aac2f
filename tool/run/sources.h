// Media as the engine's frames: YUV4MPEG2 video read by frame number (a file, from several
// threads at once) or in order (standard input), pictures as one frame, and back.
//
// Video keeps its planes: 4:2:0, 4:2:2, 4:4:4 and mono at 8 to 16 bits. A picture becomes
// packed BGR (BGRA with alpha) at its depth, bottom-up: the AviSynth hosts keep RGB frames so,
// and the watershed's border and tie rules make the result depend on which row comes first,
// so only this layout gives what the plug-in computes inside the host.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "frame.h"
#include "picture.h"
#include "y4m_io.h"

namespace cli {

// The engine's format of a stream's frames.
engine::VideoFormat FormatOf(const media::Y4mHeader& header);

// A frame and the parameters of its FRAME line.
struct SourceFrame {
    FramePtr frame;
    std::string params;
};

class VideoSource {
public:
    // Opens path ("-": standard input, read in order). Throws MediaError; counts a file's
    // frames first, so a damaged file fails here.
    explicit VideoSource(const std::string& path);

    const media::Y4mHeader& Header() const { return reader_.Header(); }
    const engine::VideoFormat& Format() const { return format_; }
    const std::string& Name() const { return reader_.Name(); }
    bool IsStream() const { return stream_; }
    // The frames of a file; -1 for a stream.
    int FrameCount() const { return count_; }
    media::Y4mReader& Reader() { return reader_; }

    // Frame n: a file's read now (thread-safe); a stream's as ReadNext read it, handed out
    // once. Throws MediaError.
    SourceFrame Get(int n);
    // A stream's next frame, kept for Get; false at the end of input. One caller at a time.
    bool ReadNext();

private:
    media::Y4mReader reader_;
    const bool stream_;
    const engine::VideoFormat format_;
    int count_ = -1;
    std::shared_ptr<FramePool> pool_;
    std::mutex mutex_;
    std::map<int, SourceFrame> read_;  // a stream's frames read ahead of their request
};

// Writes frame as the next frame of writer, under the FRAME parameters given.
void WriteFrame(media::Y4mWriter& writer, const Frame& frame, const std::string& params);

// The engine's format of a picture: BGR or BGRA at its depth.
engine::VideoFormat FormatOf(const media::Picture& picture);
// The picture as a frame of that format, bottom-up. Throws std::bad_alloc.
FramePtr FrameOfPicture(const media::Picture& picture);
// The picture a frame of a picture's format shows.
media::Picture PictureOf(const Frame& frame);
// The picture's own rows as a frame of its format, bottom-up as FrameOfPicture's, but with R
// and B where the picture has them, for a filter that treats every colour channel alike: no
// copy is made, and the frame is valid while the picture's samples are.
Frame FrameOverPicture(media::Picture& picture);
// A picture of the same size, alpha and depth whose samples are yet to be written.
media::Picture PictureShapedAs(const media::Picture& picture);

}  // namespace cli
