#include "platform/linux/media/realtime/AudioMixer.h"

#include <algorithm>

namespace vx::platform::linux_ {

namespace {

// A piece this far from where it would fall is laid where it was taken at
// once: a source that was idle, or lost sound.
constexpr auto kTolerance = std::chrono::milliseconds(80);
// Closer than that, single pieces scatter by a millisecond or two; the median
// of this many says where the source really is, and moves it there once it is
// more than kFollowTolerance off. So a source whose clock drifts from ours, or
// whose server skipped some of its time, stays within a few milliseconds.
constexpr size_t kFollowPieces = 16;
constexpr auto kFollowTolerance = std::chrono::milliseconds(1);

}  // namespace

AudioMixer::AudioMixer(int inputs, int sampleRate, int channels)
    : sampleRate_(sampleRate), channels_(channels), inputs_(size_t(inputs)) {}

void AudioMixer::begin(Clock::time_point origin) {
    std::lock_guard lock(mutex_);
    origin_ = origin;
}

int64_t AudioMixer::position(Clock::time_point at) const {
    std::lock_guard lock(mutex_);
    if (!origin_) {
        return 0;
    }
    return std::chrono::duration_cast<std::chrono::nanoseconds>(at - *origin_).count() *
           sampleRate_ / 1'000'000'000;
}

void AudioMixer::add(int input, std::span<const float> samples, Clock::time_point capturedEnd) {
    const int64_t end = position(capturedEnd);
    std::lock_guard lock(mutex_);
    if (!origin_) {
        return;
    }
    Input& in = inputs_.at(size_t(input));
    const int64_t frames = int64_t(samples.size()) / channels_;
    const int64_t first = end - frames;
    const int64_t tolerance = sampleRate_ * kTolerance.count() / 1000;
    if (!in.start) {
        in.start = first;
    }
    const int64_t expected = *in.start + heldFrames(in);
    if (first > expected + tolerance) {
        in.samples.insert(in.samples.end(), size_t((first - expected) * channels_), 0.0f);
        in.slips.clear();
    } else if (first < expected - tolerance) {
        // What is held was laid too late (a wrong first time, a source
        // clock running fast): it moves back to end where this piece begins.
        *in.start -= expected - first;
        in.slips.clear();
    } else {
        follow(in, first - expected);
    }
    in.samples.insert(in.samples.end(), samples.begin(), samples.end());
}

void AudioMixer::follow(Input& in, int64_t slip) {
    in.slips.push_back(slip);
    if (in.slips.size() < kFollowPieces) {
        return;
    }
    const auto middle = in.slips.begin() + ptrdiff_t(in.slips.size() / 2);
    std::nth_element(in.slips.begin(), middle, in.slips.end());
    const int64_t median = *middle;
    in.slips.clear();
    if (std::abs(median) * 1000 > sampleRate_ * kFollowTolerance.count()) {
        // What is held moves with it: a gap becomes silence in the mix, and
        // what now falls before the mix's end is dropped there.
        *in.start += median;
    }
}

std::vector<float> AudioMixer::mixUntil(int64_t until) {
    std::lock_guard lock(mutex_);
    if (until <= mixed_) {
        return {};
    }
    const int64_t frames = until - mixed_;
    std::vector<float> mix(size_t(frames * channels_), 0.0f);
    for (Input& in : inputs_) {
        if (!in.start) {
            continue;
        }
        // Samples for a time already handed out are too late to be heard.
        const int64_t late = std::clamp(mixed_ - *in.start, int64_t(0), heldFrames(in));
        in.samples.erase(in.samples.begin(), in.samples.begin() + late * channels_);
        *in.start = std::max(*in.start + late, mixed_);
        const int64_t offset = *in.start - mixed_;
        const int64_t take = std::clamp(frames - offset, int64_t(0), heldFrames(in));
        auto from = in.samples.begin();
        for (size_t i = size_t(offset * channels_); i < size_t((offset + take) * channels_);
             ++i, ++from) {
            mix[i] += *from;
        }
        in.samples.erase(in.samples.begin(), from);
        // Silence stood in for whatever the source did not send in time; its
        // next samples follow on from here.
        *in.start = heldFrames(in) > 0 ? *in.start + take : std::max(*in.start + take, until);
    }
    for (float& value : mix) {
        value = std::clamp(value, -1.0f, 1.0f);
    }
    mixed_ = until;
    return mix;
}

}  // namespace vx::platform::linux_
