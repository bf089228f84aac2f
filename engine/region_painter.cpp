#include "region_painter.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <type_traits>

namespace engine {

namespace {

// The per-region totals of one channel: exact integer sums and rounded means for integer
// samples, double sums and exact means for floats.
template <typename Sample>
class RegionMeans {
public:
    using Total = std::conditional_t<std::is_floating_point_v<Sample>, double, uint64_t>;

    RegionMeans(uint64_t* sums, uint32_t* counts) : sums_(sums), counts_(counts) {}

    void Measure(const Sample* values, const int32_t* labels, size_t pixels) {
        // Labels run from 1 to the number of regions without gaps: the largest is that number.
        regions_ = static_cast<size_t>(*std::max_element(labels, labels + pixels));
        std::fill_n(counts_, regions_ + 1, 0u);
        for (size_t label = 0; label <= regions_; ++label) Store(label, Total{0});
        for (size_t i = 0; i < pixels; ++i) {
            const size_t label = static_cast<size_t>(labels[i]);
            Store(label, Load(label) + static_cast<Total>(values[i]));
            ++counts_[label];
        }
        for (size_t label = 1; label <= regions_; ++label) {
            const Total count = counts_[label];
            if constexpr (std::is_floating_point_v<Sample>)
                Store(label, Load(label) / count);
            else
                Store(label, (Load(label) + count / 2) / count);
        }
    }

    // The mean of a region, as the channel buffer holds values (floats with their offset).
    Total Mean(int32_t label) const { return Load(static_cast<size_t>(label)); }

private:
    Total Load(size_t label) const {
        Total value;
        std::memcpy(&value, &sums_[label], sizeof value);
        return value;
    }
    void Store(size_t label, Total value) { std::memcpy(&sums_[label], &value, sizeof value); }

    uint64_t* sums_;
    uint32_t* counts_;
    size_t regions_ = 0;
};

}  // namespace

RegionPainter::RegionPainter(int width, int height, const SampleFormat& samples,
                             RegionsStyle style)
    : buffers_(width, height, samples), style_(style),
      // Label 0 is never given; keeping its slot lets a label index the arrays directly.
      sums_(static_cast<size_t>(width) * static_cast<size_t>(height) + 1),
      counts_(sums_.size()) {}

size_t RegionPainter::Bytes() const {
    return buffers_.Bytes() + sums_.size() * sizeof(uint64_t) + counts_.size() * sizeof(uint32_t);
}

void RegionPainter::Paint(const FramePlan& plan, const FrameRefs& frame) {
    for (int i = 0; i < plan.StepCount(); ++i) PaintStep(plan, frame, i);
}

void RegionPainter::PaintStep(const FramePlan& plan, const FrameRefs& frame, int step) {
    DispatchSamples(plan.Samples(), [&](auto sample) {
        WalkStep(plan, frame, nullptr,
                 [&](const ChannelStep& c) { PaintChannel<decltype(sample)>(plan, frame, c); },
                 step);
    });
}

template <typename Sample>
void RegionPainter::PaintChannel(const FramePlan& plan, const FrameRefs& frame,
                                 const ChannelStep& c) {
    // The channel buffer then holds the source's values: the filter smooths the source's
    // values within the segmentation clip's regions, so the means are of those.
    const ChannelScratch<Sample> scratch = buffers_.Scratch<Sample>();
    SegmentChannel(plan, scratch, frame, c);
    const size_t pixels = static_cast<size_t>(c.width) * static_cast<size_t>(c.height);
    RegionMeans<Sample> means(sums_.data(), counts_.data());
    means.Measure(scratch.channel, scratch.label, pixels);

    const SampleRange range = plan.RangeFor(c);
    // A mean as the destination takes it, and the mark of a boundary in a region of that mean.
    const auto paint = [&](int32_t label, bool boundary) -> Sample {
        const auto mean = means.Mean(label);
        if constexpr (std::is_floating_point_v<Sample>) {
            const float value = static_cast<float>(mean);
            if (boundary) return (value >= 0.5f ? 0.0f : 1.0f) - range.offset;
            return value - range.offset;
        } else {
            if (boundary) return static_cast<Sample>(2 * mean > static_cast<uint64_t>(range.maxValue) ? 0 : range.maxValue);
            return static_cast<Sample>(mean);
        }
    };
    const PlaneView<Sample> dst = ChannelOf<Sample>(frame.dst[c.plane], c);
    const bool marked = style_ == RegionsStyle::MarkBoundaries;
    for (int y = 0; y < c.height; ++y) {
        Sample* out = dst.Row(y);
        const size_t row = static_cast<size_t>(y) * static_cast<size_t>(c.width);
        for (int x = 0; x < c.width; ++x)
            dst.At(out, x) = paint(scratch.label[row + x], marked && scratch.boundary[row + x] == 0);
    }
}

}  // namespace engine
