#include "platform/linux/media/timelapse/MovieEncoding.h"

extern "C" {
#include <libavutil/frame.h>
}

#include "platform/linux/media/FragmentedMp4Finisher.h"

namespace vx::platform::linux_ {

std::expected<std::unique_ptr<MovieEncoding>, Error> MovieEncoding::open(
    LockedMovieFile file, const VideoTrackSettings& settings) {
    auto encoding = std::unique_ptr<MovieEncoding>(new MovieEncoding(std::move(file)));
    auto converter = TimelapseFrameConverter::open(int(settings.width), int(settings.height));
    if (!converter) {
        return std::unexpected(converter.error());
    }
    encoding->converter_ = std::move(*converter);
    auto encoder = TimelapseVideoEncoder::open(settings);
    if (!encoder) {
        return std::unexpected(encoder.error());
    }
    encoding->encoder_ = std::move(*encoder);
    auto muxer = TimelapseMuxer::open(encoding->file_, encoding->encoder_->context());
    if (!muxer) {
        return std::unexpected(muxer.error());
    }
    encoding->muxer_ = std::move(*muxer);
    return encoding;
}

std::expected<void, Error> MovieEncoding::encode(const PixelBuffer& image, int64_t pts) {
    auto picture = converter_->convert(image);
    if (!picture) {
        return std::unexpected(picture.error());
    }
    (*picture)->pts = pts;
    return encoder_->encode(*picture, [this](AVPacket& packet) { return write(packet); });
}

std::expected<void, Error> MovieEncoding::finish() {
    auto drained = encoder_->encode(nullptr, [this](AVPacket& packet) { return write(packet); });
    if (!drained) {
        return drained;
    }
    if (auto ended = muxer_->finish(); !ended) {
        return ended;
    }
    muxer_.reset();
    // Failing here leaves a complete fragmented movie; see the header.
    (void)FragmentedMp4Finisher::finalise(file_);
    return {};
}

std::expected<void, Error> MovieEncoding::write(AVPacket& packet) {
    return muxer_->write(packet);
}

}  // namespace vx::platform::linux_
