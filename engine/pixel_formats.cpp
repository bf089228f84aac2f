#include "pixel_formats.h"

namespace engine {

bool IsRgb(const PixelFormat& format) {
    return format.layout == Layout::PackedBgr || format.layout == Layout::PlanarRgb;
}

bool HasChroma(const PixelFormat& format) {
    return format.layout == Layout::PackedYuy2 || format.layout == Layout::PlanarYuv;
}

int PlaneCount(const PixelFormat& format) {
    switch (format.layout) {
        case Layout::PackedBgr:
        case Layout::PackedYuy2:
        case Layout::Gray: return 1;
        case Layout::PlanarYuv:
        case Layout::PlanarRgb: return format.alpha ? 4 : 3;
    }
    return 1;
}

bool SupportedSamples(const SampleFormat& samples) {
    switch (samples.type) {
        case SampleType::Byte: return samples.bits == 8;
        case SampleType::Word: return samples.bits >= 9 && samples.bits <= 16;
        case SampleType::Float: return samples.bits == 32;
    }
    return false;
}

std::string DepthName(const SampleFormat& samples) {
    return samples.type == SampleType::Float ? "float" : std::to_string(samples.bits) + "-bit";
}

bool FitsSubsampling(const PixelFormat& format, int width, int height) {
    const int xMask = (1 << format.chromaShiftX) - 1;
    const int yMask = (1 << format.chromaShiftY) - 1;
    return (width & xMask) == 0 && (height & yMask) == 0;
}

namespace {
bool Subsampled(const PixelFormat& format, int plane) {
    return format.layout == Layout::PlanarYuv && (plane == 1 || plane == 2);
}
}  // namespace

int PlaneWidth(const PixelFormat& format, int plane, int width) {
    return Subsampled(format, plane) ? width >> format.chromaShiftX
                                     : width * format.samplesPerPixel;
}

int PlaneHeight(const PixelFormat& format, int plane, int height) {
    return Subsampled(format, plane) ? height >> format.chromaShiftY : height;
}

std::string JoinList(const std::vector<std::string>& items, const char* last) {
    std::string text;
    for (size_t i = 0; i < items.size(); ++i) {
        if (i > 0) text += i + 1 < items.size() ? ", " : last;
        text += items[i];
    }
    return text;
}

}  // namespace engine
