// The working buffers of one channel pass for a test, each followed by guard entries that
// nothing may write, and filled with garbage first so that nothing can rely on zeros.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "plane_view.h"

template <typename Sample>
class OwnedScratch {
public:
    static constexpr size_t kGuard = 8;

    explicit OwnedScratch(size_t pixels)
        : pixels_(pixels), channel_(pixels + kGuard, static_cast<Sample>(77)),
          order_(pixels + kGuard, 0xDEADBEEFu), label_(pixels + kGuard, 12345),
          boundary_(pixels + kGuard, 77), pixelList_(pixels + kGuard, 0xDEADBEEFu),
          queue_(pixels + 1 + kGuard, 0xDEADBEEFu) {}

    ChannelScratch<Sample> Get() {
        return {channel_.data(), order_.data(),     label_.data(),
                boundary_.data(), pixelList_.data(), queue_.data()};
    }

    std::vector<Sample> Channel() const { return Front(channel_); }
    std::vector<uint32_t> Order() const { return Front(order_); }
    std::vector<int32_t> Labels() const { return Front(label_); }
    std::vector<uint8_t> Boundary() const { return Front(boundary_); }

    bool GuardsIntact() const {
        for (size_t i = pixels_; i < pixels_ + kGuard; ++i)
            if (channel_[i] != static_cast<Sample>(77) || order_[i] != 0xDEADBEEFu ||
                label_[i] != 12345 || boundary_[i] != 77 || pixelList_[i] != 0xDEADBEEFu ||
                queue_[i + 1] != 0xDEADBEEFu)
                return false;
        return true;
    }

private:
    template <typename T>
    std::vector<T> Front(const std::vector<T>& all) const {
        return {all.begin(), all.begin() + static_cast<ptrdiff_t>(pixels_)};
    }

    size_t pixels_;
    std::vector<Sample> channel_;
    std::vector<uint32_t> order_;
    std::vector<int32_t> label_;
    std::vector<uint8_t> boundary_;
    std::vector<uint32_t> pixelList_, queue_;
};
