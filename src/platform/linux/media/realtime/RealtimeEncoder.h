#pragma once

#include <expected>
#include <functional>
#include <memory>

#include "platform/Types.h"
#include "platform/linux/media/PacketPump.h"

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace vx::platform::linux_ {

// One libavcodec encoder set up for a live recording: frames go in as they are
// captured and every packet that comes out goes straight on to a sink.
class RealtimeEncoder {
  public:
    using PacketSink = linux_::PacketSink;

    // libx264 fast enough to keep up with the screen on a small machine
    // (ultrafast takes about half a core at 1080p60); one frame lasts one tick
    // of `framePeriodNum / framePeriodDen` seconds.
    static std::expected<std::unique_ptr<RealtimeEncoder>, Error> openH264(int width, int height,
                                                                           int framePeriodNum,
                                                                           int framePeriodDen);
    // libavcodec's own AAC encoder on planar float samples; times count samples.
    static std::expected<std::unique_ptr<RealtimeEncoder>, Error> openAac(int sampleRate,
                                                                          int channels);
    ~RealtimeEncoder();
    RealtimeEncoder(const RealtimeEncoder&) = delete;
    RealtimeEncoder& operator=(const RealtimeEncoder&) = delete;

    const AVCodecContext& context() const { return *context_; }
    // Encodes `frame` (its pts set), or drains the encoder when it is null,
    // and hands every packet that comes out to `sink`.
    std::expected<void, Error> encode(const AVFrame* frame, const PacketSink& sink);

  private:
    RealtimeEncoder(AVCodecContext* context, AVPacket* packet)
        : context_(context), packet_(packet) {}
    static std::expected<std::unique_ptr<RealtimeEncoder>, Error> allocate(const char* codecName,
                                                                           const char* what);
    std::expected<void, Error> open(const char* what);

    AVCodecContext* context_;
    AVPacket* packet_;
};

}  // namespace vx::platform::linux_
