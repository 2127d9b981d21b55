#include "platform/linux/media/PacketPump.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "platform/linux/media/FfmpegErrors.h"

namespace vx::platform::linux_ {

std::expected<void, Error> pumpPackets(AVCodecContext* encoder, AVPacket* packet,
                                       const AVFrame* frame, const PacketSink& sink,
                                       const char* failure) {
    if (const int result = avcodec_send_frame(encoder, frame); result < 0) {
        return std::unexpected(ffmpegError(result, failure));
    }
    for (;;) {
        const int result = avcodec_receive_packet(encoder, packet);
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) {
            return {};
        }
        if (result < 0) {
            return std::unexpected(ffmpegError(result, failure));
        }
        auto written = sink(*packet);
        av_packet_unref(packet);
        if (!written) {
            return written;
        }
    }
}

}  // namespace vx::platform::linux_
