#include "platform/linux/media/realtime/RealtimeEncoder.h"

#include <algorithm>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

#include "platform/linux/media/FfmpegErrors.h"
#include "platform/linux/media/PacketPump.h"

namespace vx::platform::linux_ {

namespace {

// Measured on two cores at 1080p60: ultrafast needs about half a core, superfast
// four fifths, which leaves too little for capture and sound.
constexpr const char* kH264Preset = "ultrafast";
constexpr int kKeyFrameSeconds = 2;
constexpr int64_t kAacBitRate = 160'000;

}  // namespace

std::expected<std::unique_ptr<RealtimeEncoder>, Error> RealtimeEncoder::allocate(
    const char* codecName, const char* what) {
    const AVCodec* codec = avcodec_find_encoder_by_name(codecName);
    if (codec == nullptr) {
        return std::unexpected(
            Error{kFfmpegErrorDomain, 0,
                  std::string("The ") + what + " encoder " + codecName + " is not available."});
    }
    AVCodecContext* context = avcodec_alloc_context3(codec);
    AVPacket* packet = av_packet_alloc();
    auto encoder = std::unique_ptr<RealtimeEncoder>(new RealtimeEncoder(context, packet));
    if (context == nullptr || packet == nullptr) {
        return std::unexpected(Error{kFfmpegErrorDomain, 0, "Out of memory for the encoder."});
    }
    // QuickTime and MPEG-4 keep the codec set-up in the track header.
    context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    return encoder;
}

std::expected<void, Error> RealtimeEncoder::open(const char* what) {
    if (const int result = avcodec_open2(context_, context_->codec, nullptr); result < 0) {
        return std::unexpected(
            ffmpegError(result, std::string("Cannot open the ") + what + " encoder"));
    }
    return {};
}

std::expected<std::unique_ptr<RealtimeEncoder>, Error> RealtimeEncoder::openH264(
    int width, int height, int framePeriodNum, int framePeriodDen) {
    auto encoder = allocate("libx264", "H.264");
    if (!encoder) {
        return encoder;
    }
    AVCodecContext* context = (*encoder)->context_;
    context->width = width;
    context->height = height;
    context->pix_fmt = AV_PIX_FMT_YUV420P;
    context->time_base = AVRational{framePeriodNum, framePeriodDen};
    context->framerate = AVRational{framePeriodDen, framePeriodNum};
    context->gop_size = std::max(1, kKeyFrameSeconds * framePeriodDen / framePeriodNum);
    context->max_b_frames = 0;
    context->color_range = AVCOL_RANGE_MPEG;
    context->colorspace = AVCOL_SPC_BT709;
    context->color_primaries = AVCOL_PRI_BT709;
    context->color_trc = AVCOL_TRC_BT709;
    av_opt_set(context->priv_data, "preset", kH264Preset, 0);
    // No look-ahead and sliced threads: a frame leaves the encoder as soon as it
    // is coded, so a stop has nothing to wait for and memory stays flat.
    av_opt_set(context->priv_data, "tune", "zerolatency", 0);
    if (auto opened = (*encoder)->open("H.264"); !opened) {
        return std::unexpected(opened.error());
    }
    return encoder;
}

std::expected<std::unique_ptr<RealtimeEncoder>, Error> RealtimeEncoder::openAac(int sampleRate,
                                                                                int channels) {
    auto encoder = allocate("aac", "AAC");
    if (!encoder) {
        return encoder;
    }
    AVCodecContext* context = (*encoder)->context_;
    context->sample_fmt = AV_SAMPLE_FMT_FLTP;
    context->sample_rate = sampleRate;
    av_channel_layout_default(&context->ch_layout, channels);
    context->bit_rate = kAacBitRate;
    context->time_base = AVRational{1, sampleRate};
    if (auto opened = (*encoder)->open("AAC"); !opened) {
        return std::unexpected(opened.error());
    }
    return encoder;
}

RealtimeEncoder::~RealtimeEncoder() {
    av_packet_free(&packet_);
    avcodec_free_context(&context_);
}

std::expected<void, Error> RealtimeEncoder::encode(const AVFrame* frame, const PacketSink& sink) {
    const bool video = context_->codec_type == AVMEDIA_TYPE_VIDEO;
    return pumpPackets(
        context_, packet_, frame,
        [video, &sink](AVPacket& packet) {
            // Without a duration the last video frame would last no time at all.
            if (packet.duration == 0 && video) {
                packet.duration = 1;
            }
            return sink(packet);
        },
        "Cannot encode the recording");
}

}  // namespace vx::platform::linux_
