// Where the planes of a new frame lie, worked out from the request the way the host does.
#pragma once

#include <avisynth.h>

namespace standin {

struct FrameLayout {
    int align;      // boundary of the first row
    int pitch;      // Y plane, or the whole interleaved frame
    int rowSize;
    int height;
    int pitchUV;    // 0 for interleaved frames
    int rowSizeUV;
    int heightUV;
    int offsetU;    // byte offsets of the chroma planes from the first row; 0 when interleaved
    int offsetV;
    int dataSize;   // bytes from the first row to the end of the last plane
};

// The largest alignment honoured; larger requests are refused rather than padded.
constexpr int kMaxFrameAlign = 4096;

// Throws HostError with the host's message for requests the real host refuses, and for
// frames whose size does not fit the interface's int fields.
FrameLayout ComputeFrameLayout(const VideoInfo& vi, int align, int extraPitch);

}  // namespace standin
