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
// desktop gains least. Measured at 1920x1080 with veryfast, same bit rate:
//  - aq-mode=0: adaptive quantisation moves bits from busy blocks, which on a
//    desktop are text, to flat ones (SSIM 0.9724 -> 0.9770);
//  - qcomp=1: every frame of a time-lapse counts alike, so the quantiser stays
//    level instead of following each frame's complexity (-> 0.9784);
//  - deblock=-2,-2: keeps text edges sharp (-> 0.9787);
//  - me=umh, merange=24: scrolled text moves further between frames than the
//    hexagon search looks (-> 0.9817, 4 ms more a frame).
// With these, superfast on one thread costs 15 ms a frame of CPU time for an
// SSIM within 0.001 of the ffmpeg tool's medium with look-ahead (72 ms), and
// 18 ms a frame at the default 2 s interval, where the screen changes more:
// about 1 % of a core in all. A second reference frame would gain 0.0015 for
// 4 ms more. Larger frames have more time to spare against the ffmpeg tool,
// which at 3840x2160 takes 0.36 s a frame: veryfast with two references gains
// 0.0018 there for 15 % more time, and slices keep a frame (0.1 s of CPU time)
// well within the shortest interval (0.25 s) on a busy machine; one thread
// would save a tenth of the time at 1920x1080.
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
    av_opt_set(context->priv_data, "x264-params", optionsFor(settings).c_str(), 0);
    if (const int result = avcodec_open2(context, codec, nullptr); result < 0) {
        return std::unexpected(ffmpegError(result, "Cannot open the H.264 encoder"));
    }
    return encoder;
}

const char* TimelapseVideoEncoder::presetFor(const VideoTrackSettings& settings) {
    return isSmall(settings) ? "superfast" : "veryfast";
}

std::string TimelapseVideoEncoder::optionsFor(const VideoTrackSettings& settings) {
    const std::string desktop = "aq-mode=0:qcomp=1:deblock=-2,-2:me=umh:merange=24";
    return isSmall(settings) ? desktop : desktop + ":ref=2";
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
