#include "platform/linux/media/timelapse/TimelapseVideoEncoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/opt.h>
}

#include "platform/linux/media/FfmpegErrors.h"
#include "platform/linux/media/PacketPump.h"

namespace vx::platform::linux_ {

namespace {

// Chosen by picture quality per CPU time on a busy desktop (a terminal
// printing, a page scrolling, a video playing; bench/timelapse_vs_ffmpeg.cpp),
// against the ffmpeg tool at preset medium, whose look-ahead and B-frames this
// writer cannot have. Without look-ahead x264's defaults spend bits where a
// desktop gains least; measured at 1920x1080, same bit rate:
//  - aq-mode=0: adaptive quantisation moves bits from busy blocks, which on a
//    desktop are text, to flat ones (SSIM 0.9724 -> 0.9770);
//  - qcomp=1: every frame of a time-lapse counts alike, so the quantiser stays
//    level instead of following each frame's complexity (-> 0.9784);
//  - me=umh, merange=24: scrolled text moves further between frames than the
//    hexagon search looks (0.968 -> 0.978, 3 ms more a frame);
//  - deblock=-2,-2: keeps text edges sharp (+0.0003).
// With them, superfast encodes a frame in 15 ms of CPU at SSIM 0.978, within
// 0.001 of ffmpeg's medium with look-ahead (72 ms), where medium without
// look-ahead got 0.974 in 62 ms; veryfast gains 0.001 for 10 ms more. At the
// default 2 s interval a frame costs superfast 18 ms, which keeps a busy
// 1920x1080 time-lapse near 1 % of a core. Above this size veryfast with
// slices: one thread saves 10 % of CPU time, but a 3840x2160 frame needs about
// 0.1 s of it, too close to the shortest interval (0.25 s) on a busy machine.
constexpr int64_t kSmallFrameMaxPixels = 1920 * 1200;

bool isSmall(const VideoTrackSettings& settings) {
    return settings.width * settings.height <= kSmallFrameMaxPixels;
}

}  // namespace

std::expected<std::unique_ptr<TimelapseVideoEncoder>, Error> TimelapseVideoEncoder::open(
    const VideoTrackSettings& settings) {
    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    if (codec == nullptr) {
        return std::unexpected(
            Error{kFfmpegErrorDomain, 0, "The H.264 encoder libx264 is not available."});
    }
    AVCodecContext* context = avcodec_alloc_context3(codec);
    AVPacket* packet = av_packet_alloc();
    auto encoder =
        std::unique_ptr<TimelapseVideoEncoder>(new TimelapseVideoEncoder(context, packet));
    if (context == nullptr || packet == nullptr) {
        return std::unexpected(Error{kFfmpegErrorDomain, 0, "Out of memory for the encoder."});
    }
    context->width = int(settings.width);
    context->height = int(settings.height);
    context->pix_fmt = AV_PIX_FMT_YUV420P;
    context->time_base = AVRational{1, settings.timescale};
    context->framerate = AVRational{settings.timescale, 1};
    context->bit_rate = settings.averageBitRate;
    context->gop_size = settings.maxKeyFrameInterval;
    context->max_b_frames = 0;
    context->thread_count = threadsFor(settings);
    context->color_range = AVCOL_RANGE_MPEG;
    context->colorspace = AVCOL_SPC_BT709;
    context->color_primaries = AVCOL_PRI_BT709;
    context->color_trc = AVCOL_TRC_BT709;
    // MPEG-4 keeps the parameter sets in the track header, not in the stream.
    context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    av_opt_set(context->priv_data, "preset", presetFor(settings), 0);
    // zerolatency: no look-ahead, no B-frames, sliced threads (frame threads
    // would each hold a picture back).
    av_opt_set(context->priv_data, "tune", "zerolatency", 0);
    av_opt_set(context->priv_data, "x264-params", kX264Options, 0);
    if (const int result = avcodec_open2(context, codec, nullptr); result < 0) {
        return std::unexpected(ffmpegError(result, "Cannot open the H.264 encoder"));
    }
    return encoder;
}

const char* TimelapseVideoEncoder::presetFor(const VideoTrackSettings& settings) {
    return isSmall(settings) ? "superfast" : "veryfast";
}

int TimelapseVideoEncoder::threadsFor(const VideoTrackSettings& settings) {
    return isSmall(settings) ? 1 : 0;
}

TimelapseVideoEncoder::~TimelapseVideoEncoder() {
    av_packet_free(&packet_);
    avcodec_free_context(&context_);
}

std::expected<void, Error> TimelapseVideoEncoder::encode(const AVFrame* picture,
                                                         const PacketSink& sink) {
    return pumpPackets(
        context_, packet_, picture,
        [&sink](AVPacket& packet) {
            // Without a duration the last frame of the movie would last zero
            // time and the movie would report (n-1)/fps.
            packet.duration = 1;
            return sink(packet);
        },
        "Cannot encode a frame");
}

}  // namespace vx::platform::linux_
