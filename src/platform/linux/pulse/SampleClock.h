#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>

namespace vx::platform::linux_ {

// When each sample of a record stream was taken, on the steady clock, from the
// sound server's readings of its latency. Single readings scatter by a few
// milliseconds, and the first ones, made before the server's timing settles,
// by up to a second; the median of the recent ones does neither, and still
// follows a server that skipped some of its time.
class SampleClock {
  public:
    using Clock = std::chrono::steady_clock;

    explicit SampleClock(int sampleRate) : sampleRate_(sampleRate) {}

    // A reading: sample `index`, counted from the stream's first, was taken at `at`.
    void observe(int64_t index, Clock::time_point at);
    // When sample `index` was taken; none before the first reading.
    std::optional<Clock::time_point> timeOf(int64_t index) const;

  private:
    Clock::duration sinceFirst(int64_t index) const;

    const int sampleRate_;
    std::deque<Clock::time_point> origins_;  // when sample 0 was taken, by the recent readings
};

}  // namespace vx::platform::linux_
