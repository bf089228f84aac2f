#include "progress_meter.h"

#include <cstdio>

namespace cli {
namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(250);

}  // namespace

ProgressMeter::ProgressMeter(bool enabled, int total)
    : enabled_(enabled), total_(total), start_(Clock::now()), lastDrawn_(start_) {}

double ProgressMeter::secondsSinceStart() const {
    return std::chrono::duration<double>(Clock::now() - start_).count();
}

void ProgressMeter::frameDone() {
    ++done_;
    if (!enabled_) return;
    const Clock::time_point now = Clock::now();
    if (now - lastDrawn_ < kRedrawInterval && done_ != total_) return;
    lastDrawn_ = now;
    draw();
}

void ProgressMeter::draw() {
    const double seconds = secondsSinceStart();
    const double fps = seconds > 0 ? done_ / seconds : 0;
    // Trailing spaces wipe what a longer earlier line left.
    if (total_ >= 0) {
        const double left = fps > 0 ? (total_ - done_) / fps : 0;
        std::fprintf(stderr, "\rframe %d/%d  %.1f fps  %.0f s left    ", done_, total_, fps, left);
    } else {
        std::fprintf(stderr, "\rframe %d  %.1f fps    ", done_, fps);
    }
    lineOpen_ = true;
}

void ProgressMeter::finish() {
    if (!enabled_) return;
    abandon();
    const double seconds = secondsSinceStart();
    std::fprintf(stderr, "%d frames in %.2f s (%.1f fps)\n", done_, seconds,
                 seconds > 0 ? done_ / seconds : 0.0);
}

void ProgressMeter::abandon() {
    if (lineOpen_) std::fputc('\n', stderr);
    lineOpen_ = false;
}

}  // namespace cli
