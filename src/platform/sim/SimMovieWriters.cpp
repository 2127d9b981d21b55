#include "platform/sim/SimMovieWriters.h"

#include <cerrno>
#include <fstream>
#include <utility>

namespace vx::platform::sim {

namespace {

class SimMovieWriter : public MovieWriter {
  public:
    SimMovieWriter(std::shared_ptr<SimMovie> movie, Dispatch& dispatch)
        : movie_(std::move(movie)), dispatch_(dispatch) {}

    bool addVideoTrack(const VideoTrackSettings& settings) override {
        if (!movie_->acceptsTrack) {
            return false;
        }
        movie_->track = settings;
        return true;
    }
    bool startWriting() override {
        movie_->started = movie_->startSucceeds;
        if (movie_->started) {
            status_ = WriterStatus::writing;
        } else {
            status_ = WriterStatus::failed;
            error_ = movie_->startError;
        }
        return movie_->started;
    }
    bool isReadyForMoreMediaData() const override { return movie_->readyForMore; }
    bool append(std::shared_ptr<const PixelBuffer> frame, MediaTime time) override {
        if (movie_->writeError && status_ == WriterStatus::writing) {
            status_ = WriterStatus::failed;
            error_ = movie_->writeError;
        }
        if (!movie_->acceptsFrames || status_ != WriterStatus::writing) {
            return false;
        }
        movie_->frameTimes.push_back(time);
        movie_->frameMarkers.push_back(frame->bytes.size() == 0 ? 0 : frame->bytes[0]);
        return true;
    }
    void markAsFinished() override { movie_->markedFinished = true; }
    void finishWriting(std::function<void()> handler) override {
        dispatch_.runInBackground([this, handler = std::move(handler)] {
            if (status_ == WriterStatus::failed) {
                // What reached the file before the failure stays there.
            } else if (movie_->finishError) {
                status_ = WriterStatus::failed;
                error_ = movie_->finishError;
            } else {
                std::ofstream out(movie_->file, std::ios::trunc);
                for (const MediaTime& time : movie_->frameTimes) {
                    out << time.value << '/' << time.timescale << '\n';
                }
                status_ = WriterStatus::completed;
            }
            handler();
        });
    }
    WriterStatus status() const override { return status_; }
    std::optional<Error> error() const override { return error_; }
    int64_t writtenFrameCount() const override {
        return int64_t(movie_->frameTimes.size()) - movie_->framesLostInFailure;
    }
    void cancelWriting() override {
        movie_->cancelled = true;
        status_ = WriterStatus::cancelled;
    }

  private:
    std::shared_ptr<SimMovie> movie_;
    Dispatch& dispatch_;
    WriterStatus status_ = WriterStatus::unknown;
    std::optional<Error> error_;
};

}  // namespace

std::expected<std::unique_ptr<MovieWriter>, Error> SimMovieWriters::create(
    const std::filesystem::path& file) {
    if (createError) {
        return std::unexpected(*createError);
    }
    if (beforeCreate) {
        std::exchange(beforeCreate, nullptr)(file);
    }
    if (std::filesystem::exists(file)) {
        return std::unexpected(
            Error{"POSIX", EEXIST, "Cannot create " + file.string() + ": File exists."});
    }
    std::ofstream(file) << "";
    auto movie = std::make_shared<SimMovie>(behaviour);
    movie->file = file;
    movies.push_back(movie);
    return std::make_unique<SimMovieWriter>(movie, dispatch_);
}

}  // namespace vx::platform::sim
