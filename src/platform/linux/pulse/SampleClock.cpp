#include "platform/linux/pulse/SampleClock.h"

#include <algorithm>
#include <vector>

namespace vx::platform::linux_ {

namespace {

// Readings come every few to twenty milliseconds: a jump is followed within
// about half a second, and a disturbance shorter than that (another program
// opening a stream on the same output) is outvoted.
constexpr size_t kReadings = 63;

}  // namespace

void SampleClock::observe(int64_t index, Clock::time_point at) {
    origins_.push_back(at - sinceFirst(index));
    if (origins_.size() > kReadings) {
        origins_.pop_front();
    }
}

std::optional<SampleClock::Clock::time_point> SampleClock::timeOf(int64_t index) const {
    if (origins_.empty()) {
        return std::nullopt;
    }
    std::vector<Clock::time_point> sorted(origins_.begin(), origins_.end());
    const auto middle = sorted.begin() + ptrdiff_t(sorted.size() / 2);
    std::nth_element(sorted.begin(), middle, sorted.end());
    return *middle + sinceFirst(index);
}

SampleClock::Clock::duration SampleClock::sinceFirst(int64_t index) const {
    return std::chrono::duration_cast<Clock::duration>(
        std::chrono::nanoseconds(index * 1'000'000'000 / sampleRate_));
}

}  // namespace vx::platform::linux_
