#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/Dispatch.h"
#include "platform/MovieWriter.h"

namespace vx::platform::sim {

// What one simulated writer was given, and how it should behave.
struct SimMovie {
    std::filesystem::path file;
    std::optional<VideoTrackSettings> track;
    bool started = false;
    bool markedFinished = false;
    bool cancelled = false;
    std::vector<MediaTime> frameTimes;
    std::vector<uint8_t> frameMarkers;  // first byte of each appended frame

    // Behaviour the test can change at any time.
    bool acceptsTrack = true;
    bool startSucceeds = true;
    std::optional<Error> startError;
    bool readyForMore = true;
    bool acceptsFrames = true;
    std::optional<Error> finishError;  // set: the finish fails with it
    // Set: the writer has failed with it, as found at the next append, and
    // the last framesLostInFailure frames accepted never reached the file.
    std::optional<Error> writeError;
    int64_t framesLostInFailure = 0;
};

// Writers that record what they were given. A finished movie is a small text
// file listing its frame times; finish handlers run as background tasks.
class SimMovieWriters : public MovieWriters {
  public:
    explicit SimMovieWriters(Dispatch& dispatch) : dispatch_(dispatch) {}

    std::expected<std::unique_ptr<MovieWriter>, Error> create(
        const std::filesystem::path& file) override;

    std::optional<Error> createError;
    // Runs once with the file's name, as another session that takes the same
    // name between its choice and the writer's creation would.
    std::function<void(const std::filesystem::path&)> beforeCreate;
    // Applied to every movie made from now on.
    SimMovie behaviour;
    std::vector<std::shared_ptr<SimMovie>> movies;

  private:
    Dispatch& dispatch_;
};

}  // namespace vx::platform::sim
