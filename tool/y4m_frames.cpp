#include "y4m_frames.h"

#include "yuy2_convert.h"

namespace cli {
namespace {

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

}  // namespace

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

}  // namespace cli
