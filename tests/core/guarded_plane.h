// A channel laid inside a larger buffer with an odd pitch, interleaved neighbour bytes and
// guard bytes, so a test can check that nothing but the channel's own samples was written.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "plane_view.h"

class GuardedPlane {
public:
    // step: bytes per sample; offset: the channel's byte within a pixel; rowPadding: bytes
    // after each row's last pixel (odd by default, so rows are not aligned).
    GuardedPlane(int width, int height, int step = 1, int offset = 0, int rowPadding = 3)
        : width_(width), height_(height), step_(step), offset_(offset),
          pitch_(width * step + rowPadding),
          bytes_(static_cast<size_t>(kGuard * 2 + pitch_ * height)) {
        for (size_t i = 0; i < bytes_.size(); ++i) bytes_[i] = static_cast<uint8_t>(i * 37 + 11);
        original_ = bytes_;
    }

    int Width() const { return width_; }
    int Height() const { return height_; }
    int Pitch() const { return pitch_; }
    int Step() const { return step_; }
    uint8_t* Base() { return bytes_.data() + kGuard + offset_; }
    const uint8_t* Base() const { return bytes_.data() + kGuard + offset_; }

    PlaneView<uint8_t> View() { return {Base(), pitch_, step_, width_, height_}; }
    PlaneView<const uint8_t> View() const { return {Base(), pitch_, step_, width_, height_}; }

    uint8_t& At(int x, int y) { return Base()[y * pitch_ + x * step_]; }
    uint8_t At(int x, int y) const { return Base()[y * pitch_ + x * step_]; }

    // Sets the channel row by row from width * height values; other bytes keep the pattern.
    void SetChannel(const std::vector<uint8_t>& values) {
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x) At(x, y) = values[y * width_ + x];
        original_ = bytes_;
    }

    std::vector<uint8_t> Channel() const {
        std::vector<uint8_t> values;
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x) values.push_back(At(x, y));
        return values;
    }

    // Every byte that is not a sample of the channel still holds what it held before.
    ::testing::AssertionResult UntouchedOutsideChannel() const {
        for (size_t i = 0; i < bytes_.size(); ++i) {
            if (IsSample(i) || bytes_[i] == original_[i]) continue;
            return ::testing::AssertionFailure() << "byte " << i << " outside the channel changed";
        }
        return ::testing::AssertionSuccess();
    }

private:
    static constexpr int kGuard = 32;

    bool IsSample(size_t i) const {
        const ptrdiff_t rel = static_cast<ptrdiff_t>(i) - kGuard - offset_;
        if (rel < 0 || rel >= static_cast<ptrdiff_t>(pitch_) * height_) return false;
        const ptrdiff_t inRow = rel % pitch_;
        return inRow % step_ == 0 && inRow / step_ < width_;
    }

    int width_, height_, step_, offset_, pitch_;
    std::vector<uint8_t> bytes_;
    std::vector<uint8_t> original_;
};
