#include "frame_tools.h"

#include <cstring>
#include <new>
#include <stdexcept>

#include "format.h"

namespace standin {
namespace {

struct WritablePlane {
    int plane;
    uint8_t* data;
    int pitch;
    int rowSize;
    int height;
};

std::vector<WritablePlane> WritePlanes(VideoFrame& frame) {
    // The Y pointer is the one checked for writability, so it is taken first.
    if (!frame.GetWritePtr()) throw std::logic_error("the frame is not writable");
    std::vector<WritablePlane> planes;
    for (const PlaneView& view : ReadPlanes(frame))
        planes.push_back({view.plane, frame.GetWritePtr(view.plane), view.pitch, view.rowSize,
                          view.height});
    return planes;
}

const char* PlaneName(int plane) {
    switch (plane) {
        case PLANAR_Y: return "Y";
        case PLANAR_U: return "U";
        case PLANAR_V: return "V";
        default: return "interleaved";
    }
}

// splitmix64: every seed, 0 included, gives a well-mixed sequence.
class ByteSequence {
public:
    explicit ByteSequence(uint32_t seed) : state_(seed) {}
    uint8_t Next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return static_cast<uint8_t>((z ^ (z >> 31)) >> 56);
    }

private:
    uint64_t state_;
};

}  // namespace

VideoInfo MakeVideoInfo(int width, int height, int pixelType, int numFrames) {
    VideoInfo vi{};
    vi.width = width;
    vi.height = height;
    vi.fps_numerator = 25;
    vi.fps_denominator = 1;
    vi.num_frames = numFrames;
    vi.pixel_type = pixelType;
    return vi;
}

std::vector<int> PlaneIds(int pixelType) {
    switch (pixelType) {
        case VideoInfo::CS_BGR24:
        case VideoInfo::CS_BGR32:
        case VideoInfo::CS_YUY2: return {0};
        case VideoInfo::CS_I420: return {PLANAR_Y, PLANAR_U, PLANAR_V};
        case VideoInfo::CS_YV12: return {PLANAR_Y, PLANAR_V, PLANAR_U};
        default: throw std::invalid_argument(Format("unknown pixel type 0x%08X", unsigned(pixelType)));
    }
}

std::vector<PlaneSize> PlaneSizes(const VideoInfo& vi) {
    std::vector<PlaneSize> sizes;
    for (int plane : PlaneIds(vi.pixel_type)) {
        if (plane == 0)
            sizes.push_back({0, vi.width * (vi.BitsPerPixel() / 8), vi.height});
        else if (plane == PLANAR_Y)
            sizes.push_back({plane, vi.width, vi.height});
        else
            sizes.push_back({plane, vi.width / 2, vi.height / 2});
    }
    return sizes;
}

PlaneView ReadPlane(const VideoFrame& frame, int plane) {
    return {plane, frame.GetReadPtr(plane), frame.GetPitch(plane), frame.GetRowSize(plane),
            frame.GetHeight(plane)};
}

std::vector<PlaneView> ReadPlanes(const VideoFrame& frame) {
    if (frame.GetPitch(PLANAR_U) == 0) return {ReadPlane(frame, 0)};
    return {ReadPlane(frame, PLANAR_Y), ReadPlane(frame, PLANAR_U), ReadPlane(frame, PLANAR_V)};
}

void FillFrame(VideoFrame& frame, const ByteFunction& value) {
    for (const WritablePlane& plane : WritePlanes(frame))
        for (int y = 0; y < plane.height; ++y) {
            uint8_t* row = plane.data + static_cast<ptrdiff_t>(y) * plane.pitch;
            for (int x = 0; x < plane.rowSize; ++x) row[x] = value(plane.plane, x, y);
        }
}

void FillRandom(VideoFrame& frame, uint32_t seed) {
    ByteSequence bytes(seed);
    FillFrame(frame, [&](int, int, int) { return bytes.Next(); });
}

PVideoFrame MakeFrame(IScriptEnvironment& env, const VideoInfo& vi, const ByteFunction& value) {
    PVideoFrame frame = env.NewVideoFrame(vi);
    FillFrame(*frame.get(), value);
    return frame;
}

PVideoFrame MakeRandomFrame(IScriptEnvironment& env, const VideoInfo& vi, uint32_t seed) {
    PVideoFrame frame = env.NewVideoFrame(vi);
    FillRandom(*frame.get(), seed);
    return frame;
}

void CopyVisibleBytes(const VideoFrame& src, VideoFrame& dst) {
    const std::vector<PlaneView> from = ReadPlanes(src);
    const std::vector<WritablePlane> to = WritePlanes(dst);
    if (from.size() != to.size()) throw std::logic_error("frames of different plane counts");
    for (size_t i = 0; i < from.size(); ++i) {
        if (from[i].rowSize != to[i].rowSize || from[i].height != to[i].height)
            throw std::logic_error("frames of different sizes");
        for (int y = 0; y < from[i].height; ++y)
            std::memcpy(to[i].data + static_cast<ptrdiff_t>(y) * to[i].pitch,
                        from[i].data + static_cast<ptrdiff_t>(y) * from[i].pitch,
                        static_cast<size_t>(from[i].rowSize));
    }
}

std::string DescribeDifference(const VideoFrame& a, const VideoFrame& b) {
    const std::vector<PlaneView> left = ReadPlanes(a);
    const std::vector<PlaneView> right = ReadPlanes(b);
    if (left.size() != right.size())
        return Format("%zu planes vs %zu planes", left.size(), right.size());
    for (size_t i = 0; i < left.size(); ++i) {
        const PlaneView& l = left[i];
        const PlaneView& r = right[i];
        if (l.rowSize != r.rowSize || l.height != r.height)
            return Format("plane %s: %dx%d bytes vs %dx%d bytes", PlaneName(l.plane), l.rowSize,
                          l.height, r.rowSize, r.height);
        for (int y = 0; y < l.height; ++y) {
            const uint8_t* rowL = l.data + static_cast<ptrdiff_t>(y) * l.pitch;
            const uint8_t* rowR = r.data + static_cast<ptrdiff_t>(y) * r.pitch;
            for (int x = 0; x < l.rowSize; ++x)
                if (rowL[x] != rowR[x])
                    return Format("plane %s row %d byte %d: %d vs %d", PlaneName(l.plane), y, x,
                                  rowL[x], rowR[x]);
        }
    }
    return {};
}

}  // namespace standin
