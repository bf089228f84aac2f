// What every kernel of the core takes: planes of samples on plain memory, the range their
// values take, and the packed working buffers of one channel. No host types.
//
// Every kernel is a template over the sample type, defined for bytes (8 bits), 16-bit words
// (9 to 16 bits) and 32-bit floats.
//
// Kernels take these by value: their hot loops store samples, and a byte store may alias
// anything, so fields read through a reference would be loaded again after every store.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <type_traits>

// One channel of a frame. Sample (x, y) lies at data + y * pitch + x * step, both in bytes:
// the step is the sample size for a planar plane and a whole pixel for a channel of a packed
// format (3 or 4 samples for BGR, 2 for the luma and 4 for the chroma of packed 4:2:2).
template <typename Sample>
struct PlaneView {
    Sample* data;     // sample (0, 0)
    ptrdiff_t pitch;  // bytes from one row to the next
    int step;         // bytes from one sample to the next within a row
    int width;        // samples per row
    int height;       // rows

    Sample* Row(int y) const {
        return reinterpret_cast<Sample*>(reinterpret_cast<Bytes>(data) + y * pitch);
    }
    // Sample x of a row that Row returned.
    Sample& At(Sample* row, int x) const {
        return *reinterpret_cast<Sample*>(reinterpret_cast<Bytes>(row) +
                                          static_cast<ptrdiff_t>(x) * step);
    }
    // Samples from one to the next within a row: a step is always whole samples.
    ptrdiff_t Stride() const { return step / static_cast<int>(sizeof(Sample)); }
    bool Packed() const { return step == static_cast<int>(sizeof(Sample)); }
    size_t Pixels() const { return static_cast<size_t>(width) * static_cast<size_t>(height); }

    // The same plane, read only.
    operator PlaneView<const Sample>() const { return {data, pitch, step, width, height}; }

private:
    using Bytes = std::conditional_t<std::is_const_v<Sample>, const char*, char*>;
};

// A plane the kernel reads, of the sample type that its destination or scratch decides:
// the type is spelled so that template argument deduction skips it, which lets a writable
// plane be passed where one is only read.
template <typename T>
struct NonDeduced {
    using Type = T;
};
template <typename Sample>
using SourcePlane = PlaneView<const typename NonDeduced<Sample>::Type>;

// The values a channel's samples take. Integer samples (bytes for 8 bits, 16-bit words for 9
// to 16) run from 0 to maxValue = 2^bits - 1. Float samples run from 0 to 1 once `offset` is
// added: 0 for luma and RGB, 0.5 for chroma, which is stored centred on 0. Kernels clamp what
// they compute to the range.
struct SampleRange {
    int maxValue;
    float offset;
};

constexpr SampleRange kEightBit{255, 0.0f};

// The range of integer samples of `bits` bits.
constexpr SampleRange IntegerRange(int bits) { return {(1 << bits) - 1, 0.0f}; }
// The range of float samples, chroma or not.
constexpr SampleRange FloatRange(bool chroma) { return {0, chroma ? 0.5f : 0.0f}; }

// Finite float samples beyond the range take part as they are, up to this far: beyond any
// picture's values, and small enough that a window's weighted sum of them cannot overflow
// (+inf and -inf in one sum would make a NaN).
constexpr float kFloatSampleBound = 1 << 20;

// A float sample as the kernels compute with it: the offset added (which also turns -0 into
// +0, so that equal values are equal bits), a NaN or infinite sample read as the nearest end
// of the range, NaN as the bottom, and finite values kept within kFloatSampleBound.
inline float ReadFloatSample(float value, float offset) {
    const float v = value + offset;
    return std::isfinite(v) ? std::clamp(v, -kFloatSampleBound, kFloatSampleBound) : (v > 0 ? 1.0f : 0.0f);
}

// The working buffers of one channel pass, each with room for the largest channel a filter
// ever hands the core (width x height of its frames). A channel of w x h samples uses the
// first w x h entries of each, row after row without gaps: entry i is pixel (i % w, i / w).
// None carries anything from one channel to the next: every kernel writes what it reads.
template <typename Sample>
struct ChannelScratch {
    Sample* channel;     // the channel's values, packed
    uint32_t* order;     // pixel indices, ascending by value, ties in position order
    int32_t* label;      // region label of each pixel, 1 to the number of regions
    uint8_t* boundary;   // 0 where two regions met, 255 elsewhere
    uint32_t* pixelList; // the watershed's list of one level's pixels
    uint32_t* queue;     // the watershed's growth and fill queue
};
