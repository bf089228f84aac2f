#include "clips.h"

#include <climits>
#include <cstddef>
#include <exception>
#include <functional>
#include <new>

#include "formats.h"
#include "media_error.h"
#include "memory_clip.h"

namespace cli {
namespace {

// ---- Video frames ----

// The classic plug-in takes 8-bit 4:2:0 and 4:2:2 only; the media library reads more.
void requireClassicFormat(const media::Y4mHeader& header, const std::string& name) {
    const bool classic = header.bitDepth == 8 && (header.chroma == media::Y4mChroma::k420 ||
                                                  header.chroma == media::Y4mChroma::k422);
    if (classic) return;
    media::throwMediaError(name, "colour space C" + header.colourSpace +
                                     " cannot be filtered (supported: 8-bit 4:2:0 and 4:2:2, "
                                     "C420, C420jpeg, C420mpeg2, C420paldv, C422)");
}

VideoInfo videoInfoOf(const media::Y4mHeader& header, PlanarOrder order, int numFrames) {
    VideoInfo vi{};
    vi.width = header.width;
    vi.height = header.height;
    // The host wants a rate; the output takes the header's tokens, whatever this says.
    const bool rateKnown = header.frameRateNum > 0 && header.frameRateDen > 0;
    vi.fps_numerator = rateKnown ? static_cast<unsigned>(header.frameRateNum) : 25;
    vi.fps_denominator = rateKnown ? static_cast<unsigned>(header.frameRateDen) : 1;
    vi.num_frames = numFrames;
    if (header.chroma == media::Y4mChroma::k422)
        vi.pixel_type = VideoInfo::CS_YUY2;
    else
        vi.pixel_type = order == PlanarOrder::YV12 ? VideoInfo::CS_YV12 : VideoInfo::CS_I420;
    return vi;
}

// Planar 4:2:2 scratch: Y, then U, then V, each row packed.
struct Planes422 {
    media::PlaneDest y, u, v;
};

Planes422 planes422(std::vector<uint8_t>& scratch, int width, int height) {
    const size_t luma = static_cast<size_t>(width) * static_cast<size_t>(height);
    const size_t chroma = luma / 2;
    scratch.resize(luma + 2 * chroma);
    uint8_t* base = scratch.data();
    return {{base, width}, {base + luma, width / 2}, {base + luma + chroma, width / 2}};
}

// Reads one frame's Y, U and V planes (of the header's sizes) into the given destinations.
using PlaneReader = std::function<void(const media::PlaneDest& y, const media::PlaneDest& u,
                                       const media::PlaneDest& v)>;

// Fills the writable frame `frame` of clip type vi.pixel_type through read.
void readIntoFrame(VideoFrame& frame, const VideoInfo& vi, const PlaneReader& read) {
    // The Y (or whole-frame) pointer first: it is the one that checks writability.
    uint8_t* const base = frame.GetWritePtr();
    if (vi.pixel_type != VideoInfo::CS_YUY2) {
        read({base, frame.GetPitch()}, {frame.GetWritePtr(PLANAR_U), frame.GetPitch(PLANAR_U)},
             {frame.GetWritePtr(PLANAR_V), frame.GetPitch(PLANAR_V)});
        return;
    }
    thread_local std::vector<uint8_t> scratch;
    const Planes422 p = planes422(scratch, vi.width, vi.height);
    read(p.y, p.u, p.v);
    media::packYuy2(vi.width, vi.height, {p.y.data, p.y.pitch}, {p.u.data, p.u.pitch},
                    {p.v.data, p.v.pitch}, {base, frame.GetPitch()});
}

// ---- Picture frames ----

// One row, swapping R and B; channels is 3 or 4. Separate loops per count let the
// compiler unroll each.
void swapRedBlue(const uint8_t* __restrict src, uint8_t* __restrict dst, int width, int channels) {
    if (channels == 3) {
        for (int x = 0; x < width; ++x, src += 3, dst += 3) {
            dst[0] = src[2];
            dst[1] = src[1];
            dst[2] = src[0];
        }
    } else {
        for (int x = 0; x < width; ++x, src += 4, dst += 4) {
            dst[0] = src[2];
            dst[1] = src[1];
            dst[2] = src[0];
            dst[3] = src[3];
        }
    }
}

VideoInfo videoInfoOf(const media::Picture& picture) {
    VideoInfo vi{};
    vi.width = picture.width;
    vi.height = picture.height;
    vi.fps_numerator = 25;
    vi.fps_denominator = 1;
    vi.num_frames = 1;
    vi.pixel_type = picture.hasAlpha ? VideoInfo::CS_BGR32 : VideoInfo::CS_BGR24;
    return vi;
}

void pictureIntoFrame(const media::Picture& picture, VideoFrame& frame) {
    uint8_t* const base = frame.GetWritePtr();
    const int pitch = frame.GetPitch();
    const size_t stride = picture.stride();
    for (int y = 0; y < picture.height; ++y) {
        const uint8_t* src = picture.pixels.data() + static_cast<size_t>(y) * stride;
        uint8_t* dst = base + static_cast<ptrdiff_t>(picture.height - 1 - y) * pitch;
        swapRedBlue(src, dst, picture.width, picture.channels());
    }
}

}  // namespace

// ---- Video clips ----

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
    requireClassicFormat(reader->header(), reader->name());
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
    : Y4mClip(videoInfoOf(header, order, INT_MAX), header, true) {
    requireClassicFormat(header, "standard input");
}

bool Y4mStreamClip::readNext(media::Y4mReader& reader, IScriptEnvironment& env) {
    const int n = reader.nextFrameNumber();
    PVideoFrame frame = env.NewVideoFrame(vi_);
    media::Y4mFrameHeader frameHeader;
    bool got = false;
    readIntoFrame(
        *frame.get(), vi_,
        [&](const media::PlaneDest& y, const media::PlaneDest& u, const media::PlaneDest& v) {
            got = reader.readFrame(frameHeader, y, u, v);
        });
    if (!got) return false;
    keepFrameParams(n, std::move(frameHeader.params));
    std::lock_guard<std::mutex> lock(mutex_);
    frames_[n] = frame;
    return true;
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

void writeFromFrame(media::Y4mWriter& writer, const VideoFrame& frame, const VideoInfo& vi,
                    const media::Y4mFrameHeader& frameHeader, std::vector<uint8_t>& scratch) {
    if (vi.pixel_type != VideoInfo::CS_YUY2) {
        writer.writeFrame(frameHeader, {frame.GetReadPtr(), frame.GetPitch()},
                          {frame.GetReadPtr(PLANAR_U), frame.GetPitch(PLANAR_U)},
                          {frame.GetReadPtr(PLANAR_V), frame.GetPitch(PLANAR_V)});
        return;
    }
    const Planes422 p = planes422(scratch, vi.width, vi.height);
    media::unpackYuy2(vi.width, vi.height, {frame.GetReadPtr(), frame.GetPitch()}, p.y, p.u, p.v);
    writer.writeFrame(frameHeader, {p.y.data, p.y.pitch}, {p.u.data, p.u.pitch},
                      {p.v.data, p.v.pitch});
}

// ---- Picture clips ----

PClip pictureClip(IScriptEnvironment& env, const media::Picture& picture) {
    const VideoInfo vi = videoInfoOf(picture);
    PVideoFrame frame = env.NewVideoFrame(vi);
    pictureIntoFrame(picture, *frame.get());
    return PClip(new standin::MemoryClip(vi, {frame}));
}

media::Picture frameToPicture(const VideoFrame& frame, int width, int height, bool hasAlpha) {
    media::Picture picture;
    picture.width = width;
    picture.height = height;
    picture.hasAlpha = hasAlpha;
    picture.pixels.resize(picture.stride() * static_cast<size_t>(height));
    const uint8_t* const base = frame.GetReadPtr();
    const int pitch = frame.GetPitch();
    for (int y = 0; y < height; ++y) {
        const uint8_t* src = base + static_cast<ptrdiff_t>(height - 1 - y) * pitch;
        uint8_t* dst = picture.pixels.data() + static_cast<size_t>(y) * picture.stride();
        swapRedBlue(src, dst, width, picture.channels());
    }
    return picture;
}

PClip openClip(IScriptEnvironment& env, const std::string& path, PlanarOrder order) {
    if (media::mediaFormatOf(path).isVideo) return Y4mFileClip::open(path, order, false);
    return pictureClip(env, media::readPicture(path));
}

}  // namespace cli
