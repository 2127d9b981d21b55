#include "platform/linux/media/realtime/AudioEncoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

#include "platform/linux/media/FfmpegErrors.h"

namespace vx::platform::linux_ {

std::expected<std::unique_ptr<AudioEncoder>, Error> AudioEncoder::open(int sampleRate,
                                                                       int channels) {
    auto encoder = RealtimeEncoder::openAac(sampleRate, channels);
    if (!encoder) {
        return std::unexpected(encoder.error());
    }
    AVFrame* frame = av_frame_alloc();
    if (frame == nullptr) {
        return std::unexpected(Error{kFfmpegErrorDomain, 0, "Out of memory for the sound."});
    }
    return std::unique_ptr<AudioEncoder>(new AudioEncoder(std::move(*encoder), frame, channels));
}

AudioEncoder::AudioEncoder(std::unique_ptr<RealtimeEncoder> encoder, AVFrame* frame, int channels)
    : encoder_(std::move(encoder)),
      frame_(frame),
      channels_(channels),
      frameSize_(encoder_->context().frame_size > 0 ? encoder_->context().frame_size : 1024) {}

AudioEncoder::~AudioEncoder() {
    av_frame_free(&frame_);
}

std::expected<void, Error> AudioEncoder::encode(std::span<const float> interleaved,
                                                const RealtimeEncoder::PacketSink& sink) {
    waiting_.insert(waiting_.end(), interleaved.begin(), interleaved.end());
    const size_t frameValues = size_t(frameSize_) * channels_;
    size_t used = 0;
    for (; waiting_.size() - used >= frameValues; used += frameValues) {
        if (auto encoded = encodeFrame(waiting_.data() + used, frameSize_, sink); !encoded) {
            return encoded;
        }
    }
    waiting_.erase(waiting_.begin(), waiting_.begin() + ptrdiff_t(used));
    return {};
}

std::expected<void, Error> AudioEncoder::finish(const RealtimeEncoder::PacketSink& sink) {
    if (!waiting_.empty()) {
        if (auto encoded = encodeFrame(waiting_.data(), int(waiting_.size()) / channels_, sink);
            !encoded) {
            return encoded;
        }
        waiting_.clear();
    }
    return encoder_->encode(nullptr, sink);
}

std::expected<void, Error> AudioEncoder::encodeFrame(const float* interleaved, int samples,
                                                     const RealtimeEncoder::PacketSink& sink) {
    av_frame_unref(frame_);
    frame_->format = AV_SAMPLE_FMT_FLTP;
    frame_->sample_rate = encoder_->context().sample_rate;
    frame_->nb_samples = samples;
    if (const int result =
            av_channel_layout_copy(&frame_->ch_layout, &encoder_->context().ch_layout);
        result < 0) {
        return std::unexpected(ffmpegError(result, "Cannot encode the sound"));
    }
    if (const int result = av_frame_get_buffer(frame_, 0); result < 0) {
        return std::unexpected(ffmpegError(result, "Cannot encode the sound"));
    }
    for (int channel = 0; channel < channels_; ++channel) {
        auto* plane = reinterpret_cast<float*>(frame_->extended_data[channel]);
        for (int i = 0; i < samples; ++i) {
            plane[i] = interleaved[size_t(i) * channels_ + channel];
        }
    }
    frame_->pts = nextPts_;
    nextPts_ += samples;
    return encoder_->encode(frame_, sink);
}

}  // namespace vx::platform::linux_
