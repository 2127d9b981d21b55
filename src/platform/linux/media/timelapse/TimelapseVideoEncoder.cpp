#include "platform/linux/media/timelapse/TimelapseVideoEncoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/opt.h>
}

#include "platform/linux/media/FfmpegErrors.h"
#include "platform/linux/media/PacketPump.h"

namespace vx::platform::linux_ {

namespace {

// Quality matters more than speed at one frame every few seconds, but a frame
// must still encode within the shortest capture interval (0.25 s) on two
// cores. Measured per frame of desktop content, CPU time: medium 69 ms at
// 1920x1080 but 240 ms at 3840x2160, where veryfast takes 77 ms.
constexpr int64_t kMediumPresetMaxPixels = 1920 * 1200;

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
    if (const int result = avcodec_open2(context, codec, nullptr); result < 0) {
        return std::unexpected(ffmpegError(result, "Cannot open the H.264 encoder"));
    }
    return encoder;
}

const char* TimelapseVideoEncoder::presetFor(const VideoTrackSettings& settings) {
    return settings.width * settings.height <= kMediumPresetMaxPixels ? "medium" : "veryfast";
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
