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
// was taken. A source that falls silent (an idle output may send nothing for
// seconds, then a burst) is re-anchored at once when its samples were taken far
// from where they would fall; one whose clock drifts from ours is moved back
// in small steps; the mix fills every gap with silence. So the sound track
// always runs exactly as long as the recording, and each sound stays within a
// few milliseconds of when it was heard, whatever the sources do.
class AudioMixer {
  public:
    using Clock = std::chrono::steady_clock;

    AudioMixer(int inputs, int sampleRate, int channels);

    // Samples that arrive before this are dropped.
    void begin(Clock::time_point origin);
    // From any thread: interleaved samples of `input`, the last of which was
    // taken just before `capturedEnd`.
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
        std::vector<int64_t> slips;  // how far recent pieces fell from where they were laid
    };
    void follow(Input& input, int64_t slip);
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
