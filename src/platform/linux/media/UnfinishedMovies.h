#pragma once

#include <filesystem>
#include <vector>

namespace vx::platform::linux_ {

// Movies that a crash, a kill or a power cut left fragmented: both the
// time-lapse and the real-time writers call this before they start a movie,
// so one cut short is whole again by the next recording.
class UnfinishedMovies {
  public:
    // Turns every "Ventilux-*.mp4" and "Ventilux-*.mov" in `folder` that is
    // still a fragmented movie and that no live writer holds into a regular
    // movie; returns those files. A file that cannot be finalised is left as
    // it is; hidden copies that a crash left behind while finalising are
    // removed. May take as long as copying the movies it finds.
    static std::vector<std::filesystem::path> finalise(const std::filesystem::path& folder);
};

}  // namespace vx::platform::linux_
