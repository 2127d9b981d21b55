#pragma once

#include <expected>
#include <functional>
#include <memory>
#include <string>

#include "platform/MovieWriter.h"
#include "platform/Types.h"
#include "platform/linux/media/PacketPump.h"

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace vx::platform::linux_ {

// libx264 set up for a time-lapse: every picture comes out as a packet before
// the next one goes in (no look-ahead, no B-frames), because at one frame every
// few seconds anything the encoder holds back is minutes of work that a crash
// would lose.
class TimelapseVideoEncoder {
  public:
    using PacketSink = linux_::PacketSink;

    // Times are counted in 1/settings.timescale; a frame lasts one tick.
    static std::expected<std::unique_ptr<TimelapseVideoEncoder>, Error> open(
        const VideoTrackSettings& settings);
    // How x264 is set up for frames of this size: its preset, its own options
    // over the preset's, and its threads (0: as many slices as it sees fit).
    static const char* presetFor(const VideoTrackSettings& settings);
    static std::string optionsFor(const VideoTrackSettings& settings);
    static int threadsFor(const VideoTrackSettings& settings);
    ~TimelapseVideoEncoder();
    TimelapseVideoEncoder(const TimelapseVideoEncoder&) = delete;
    TimelapseVideoEncoder& operator=(const TimelapseVideoEncoder&) = delete;

    const AVCodecContext& context() const { return *context_; }
    // Encodes `picture` (its pts set), or drains the encoder when it is null,
    // and hands every packet that comes out to `sink`.
    std::expected<void, Error> encode(const AVFrame* picture, const PacketSink& sink);

  private:
    TimelapseVideoEncoder(AVCodecContext* context, AVPacket* packet)
        : context_(context), packet_(packet) {}

    AVCodecContext* context_;
    AVPacket* packet_;
};

}  // namespace vx::platform::linux_
