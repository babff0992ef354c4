// The time one call of the script may spend on work that runs while the
// script goes on: reading a result set, making a link, giving back the
// memory of a result that was replaced.
#pragma once

#include <chrono>
#include <optional>

namespace cvx::database {

class WorkSlice {
public:
    using Clock = std::chrono::steady_clock;
    // What one poll may spend: well under a millisecond, so a frame of
    // 16.7 ms never notices. A single read of the socket that the slice
    // cannot cut may add up to a quarter of a millisecond of the kernel's
    // own work after the script has slept a frame (measured), so a poll
    // stays under half a millisecond.
    static constexpr std::chrono::microseconds kPoll{200};
    // The part of it that giving back memory may take first.
    static constexpr std::chrono::microseconds kRelease{60};

    WorkSlice() = default;  // unlimited: for a call that waits anyway
    explicit WorkSlice(std::chrono::microseconds budget) : end_(Clock::now() + budget) {}
    bool spent() const { return end_ && Clock::now() >= *end_; }

private:
    std::optional<Clock::time_point> end_;
};

}  // namespace cvx::database
