#pragma once

#include <string>

#include "platform/RecordingStream.h"
#include "platform/linux/media/realtime/VideoCapture.h"

namespace vx::platform::linux_ {

// Real-time recordings of a display with the sound server's sound, encoded
// with FFmpeg. H.264 only: no HEVC encoder here keeps up with the screen on an
// ordinary machine without a hardware encoder.
class FfmpegRecordingStreams : public RecordingStreams {
  public:
    // Pictures come from what `openVideo` opens; an empty name means the
    // user's default sound server.
    explicit FfmpegRecordingStreams(VideoCaptureOpener openVideo, std::string soundServer = {});

    std::vector<VideoCodec> availableVideoCodecTypes() override { return {VideoCodec::h264}; }
    std::vector<MovieFileType> availableOutputFileTypes() override {
        return {MovieFileType::quickTimeMovie, MovieFileType::mpeg4};
    }
    std::expected<std::shared_ptr<RecordingStream>, Error> makeStream(
        const StreamConfiguration& stream, const RecordingConfiguration& recording,
        RecordingEvents events) override;

  private:
    const VideoCaptureOpener openVideo_;
    const std::string soundServer_;
};

}  // namespace vx::platform::linux_
