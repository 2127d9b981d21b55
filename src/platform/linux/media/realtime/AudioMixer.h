#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

namespace vx::platform::linux_ {

// Lays the sound of several sources on one time line, counted in samples from
// the recording's start on the steady clock, and mixes them.
//
// Each source's samples are placed one after another, anchored where the first
// arrived. A source that falls silent (an idle output may send nothing for
// seconds, then a burst) or whose clock drifts from ours is re-anchored once
// its samples arrive further than a tolerance from where they would fall; the
// mix fills every gap with silence. So the sound track always runs exactly as
// long as the recording, whatever the sources do.
class AudioMixer {
  public:
    using Clock = std::chrono::steady_clock;

    AudioMixer(int inputs, int sampleRate, int channels);

    // Samples that arrive before this are dropped.
    void begin(Clock::time_point origin);
    // From any thread: interleaved samples of `input`, the last of which was
    // captured at `capturedEnd`.
    void add(int input, std::span<const float> samples, Clock::time_point capturedEnd);
    // The mix from where the last call ended up to sample position `until`,
    // interleaved; empty when there is nothing new.
    std::vector<float> mixUntil(int64_t until);
    // The sample position of a moment, counted from begin().
    int64_t position(Clock::time_point at) const;

  private:
    struct Input {
        std::optional<int64_t> start;  // position of the first sample held
        std::deque<float> samples;
    };
    int64_t heldFrames(const Input& input) const {
        return int64_t(input.samples.size()) / channels_;
    }

    const int sampleRate_;
    const int channels_;
    mutable std::mutex mutex_;
    // Guarded by mutex_.
    std::optional<Clock::time_point> origin_;
    std::vector<Input> inputs_;
    int64_t mixed_ = 0;  // every position before this has been handed out
};

}  // namespace vx::platform::linux_
