// The progress line on stderr for video: frames done, frames per second, and with a known
// length the total and the time left; redrawn in place with '\r' at most a few times a
// second, and closed by a summary line.
#pragma once

#include <chrono>

namespace cli {

class ProgressMeter {
public:
    // total: -1 when unknown. A disabled meter prints nothing.
    ProgressMeter(bool enabled, int total);

    void frameDone();
    // The summary line: frames, seconds, frames per second.
    void finish();
    // Ends a drawn line, so that an error message starts on a line of its own.
    void abandon();

private:
    using Clock = std::chrono::steady_clock;
    double secondsSinceStart() const;
    void draw();

    const bool enabled_;
    const int total_;
    const Clock::time_point start_;
    Clock::time_point lastDrawn_;
    int done_ = 0;
    bool lineOpen_ = false;
};

}  // namespace cli
