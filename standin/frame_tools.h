// Helpers for tests and the command-line tool: plane geometry, filling and comparing frames.
#pragma once

#include <avisynth.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace standin {

// One plane of a frame. `plane` is 0 for interleaved frames, PLANAR_Y/U/V for planar ones.
struct PlaneView {
    int plane;
    const uint8_t* data;
    int pitch;
    int rowSize;  // visible bytes per row
    int height;
};

struct PlaneSize {
    int plane;
    int rowSize;
    int height;
};

// A VideoInfo with video only: 25 fps, no audio, frame-based.
VideoInfo MakeVideoInfo(int width, int height, int pixelType, int numFrames = 1);

// The planes of a pixel type in memory order, which is also the order of raw files:
// {0} for interleaved types, Y U V for I420, Y V U for YV12. Throws std::invalid_argument
// for other types.
std::vector<int> PlaneIds(int pixelType);

// Visible size of each plane a frame for vi has, in PlaneIds order.
std::vector<PlaneSize> PlaneSizes(const VideoInfo& vi);

PlaneView ReadPlane(const VideoFrame& frame, int plane);
// Y, U, V for planar frames (told by a non-zero chroma pitch), else the single plane 0.
std::vector<PlaneView> ReadPlanes(const VideoFrame& frame);

// Value of the byte at column x (in bytes, so channel = x % bytes per pixel for interleaved
// frames) of row y of a plane.
using ByteFunction = std::function<uint8_t(int plane, int x, int y)>;

// Write the visible bytes. Throw std::logic_error when the frame is not writable.
void FillFrame(VideoFrame& frame, const ByteFunction& value);
void FillRandom(VideoFrame& frame, uint32_t seed);  // the same bytes for the same seed

PVideoFrame MakeFrame(IScriptEnvironment& env, const VideoInfo& vi, const ByteFunction& value);
PVideoFrame MakeRandomFrame(IScriptEnvironment& env, const VideoInfo& vi, uint32_t seed);

// Copies the visible bytes of src into the writable frame dst of the same geometry. Throws
// std::logic_error when dst is not writable or the geometries differ.
void CopyVisibleBytes(const VideoFrame& src, VideoFrame& dst);

// Empty when both frames have the same plane sizes and visible bytes (pitch padding is
// ignored); otherwise says where they first differ.
std::string DescribeDifference(const VideoFrame& a, const VideoFrame& b);
inline bool SameVisibleBytes(const VideoFrame& a, const VideoFrame& b) {
    return DescribeDifference(a, b).empty();
}

}  // namespace standin
