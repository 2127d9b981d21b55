#pragma once

#include <cstdint>
#include <expected>
#include <memory>
#include <span>
#include <vector>

#include "platform/Types.h"
#include "platform/linux/media/realtime/RealtimeEncoder.h"

namespace vx::platform::linux_ {

// Interleaved float samples in, AAC packets out. The encoder takes whole frames
// of its own size, so what does not fill one waits for the next call; packet
// times count samples from the first one handed in.
class AudioEncoder {
  public:
    static std::expected<std::unique_ptr<AudioEncoder>, Error> open(int sampleRate, int channels);
    ~AudioEncoder();
    AudioEncoder(const AudioEncoder&) = delete;
    AudioEncoder& operator=(const AudioEncoder&) = delete;

    const AVCodecContext& context() const { return encoder_->context(); }
    std::expected<void, Error> encode(std::span<const float> interleaved,
                                      const RealtimeEncoder::PacketSink& sink);
    // Encodes the samples still waiting as a last, shorter frame and drains.
    std::expected<void, Error> finish(const RealtimeEncoder::PacketSink& sink);

  private:
    AudioEncoder(std::unique_ptr<RealtimeEncoder> encoder, AVFrame* frame, int channels);
    std::expected<void, Error> encodeFrame(const float* interleaved, int samples,
                                           const RealtimeEncoder::PacketSink& sink);

    std::unique_ptr<RealtimeEncoder> encoder_;
    AVFrame* frame_;
    int channels_;
    int frameSize_;
    std::vector<float> waiting_;  // fewer than one frame of interleaved samples
    int64_t nextPts_ = 0;
};

}  // namespace vx::platform::linux_
