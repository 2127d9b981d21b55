#pragma once

#include <atomic>
#include <cstdint>
#include <expected>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/RecordingStream.h"
#include "platform/Types.h"
#include "platform/linux/media/FdAvioContext.h"
#include "platform/linux/media/LockedMovieFile.h"
#include "platform/linux/media/realtime/FileSyncThread.h"

struct AVCodecContext;
struct AVFormatContext;
struct AVPacket;

namespace vx::platform::linux_ {

// Writes the tracks of a live recording into one QuickTime or MPEG-4 file.
// Encoders on several threads hand their packets in at once; the muxer puts
// them in time order across tracks.
//
// While it records, the file is a fragmented movie: a fragment closes as soon
// as every track holds another half second, and is put on disk by a thread of
// its own. A movie cut short by a crash, a kill or a full disk plays up to its
// last whole fragment, less than a second before the end; the finish turns it
// into a regular movie.
class RealtimeMuxer {
  public:
    // One track per encoder, in this order; the file header is on disk when
    // this returns.
    static std::expected<std::unique_ptr<RealtimeMuxer>, Error> open(
        LockedMovieFile file, MovieFileType type, const std::vector<const AVCodecContext*>& tracks);
    ~RealtimeMuxer();
    RealtimeMuxer(const RealtimeMuxer&) = delete;
    RealtimeMuxer& operator=(const RealtimeMuxer&) = delete;

    // Any thread. Packet times count in the track's encoder time base. After
    // the first failure nothing more is written, and the file is cut back to
    // its last whole fragment.
    std::expected<void, Error> write(int track, AVPacket& packet);
    // Writes what is still held back and the index of fragments, syncs, and
    // makes the movie a regular one. When only that last step fails the movie
    // stays fragmented, which still plays and which the next start finalises,
    // so the finish succeeds.
    std::expected<void, Error> finish();

    // Any thread, without waiting: how far the written tracks reach, and the
    // bytes of the header and the whole fragments handed to the file so far.
    MediaTime duration() const { return {writtenMicroseconds_.load(), 1'000'000}; }
    int64_t size() const { return writtenBytes_.load(); }

  private:
    RealtimeMuxer(LockedMovieFile file, AVFormatContext* format, std::unique_ptr<FdAvioContext> io);
    std::expected<void, Error> closeFragmentIfDue();
    std::expected<void, Error> failed(Error error);
    Error failure(int averror) const;
    Error systemFailure(int err) const;

    LockedMovieFile file_;
    std::unique_ptr<FdAvioContext> io_;
    std::mutex mutex_;  // one writer at a time into format_
    AVFormatContext* format_;
    struct TimeBase {
        int num;
        int den;
    };
    std::vector<TimeBase> encoderTimeBases_;  // fixed after open
    // Guarded by mutex_.
    std::vector<int64_t> trackEnds_;  // microseconds each track reaches
    int64_t fragmentEnd_ = 0;         // microseconds every track must reach to close one
    std::optional<Error> firstFailure_;
    std::unique_ptr<FileSyncThread> syncs_;  // stopped by the finish
    std::atomic<int64_t> writtenMicroseconds_{0};
    std::atomic<int64_t> writtenBytes_{0};
};

}  // namespace vx::platform::linux_
