#pragma once

#include <string>

#include "platform/RecordingStream.h"

namespace vx::platform::linux_ {

// Real-time recordings of an X display with the sound server's sound, encoded
// with FFmpeg. H.264 only: no HEVC encoder here keeps up with the screen on an
// ordinary machine without a hardware encoder.
class FfmpegRecordingStreams : public RecordingStreams {
  public:
    // Empty names mean the display named by DISPLAY and the user's default
    // sound server.
    explicit FfmpegRecordingStreams(std::string displayName = {}, std::string soundServer = {});

    std::vector<VideoCodec> availableVideoCodecTypes() override { return {VideoCodec::h264}; }
    std::vector<MovieFileType> availableOutputFileTypes() override {
        return {MovieFileType::quickTimeMovie, MovieFileType::mpeg4};
    }
    std::expected<std::shared_ptr<RecordingStream>, Error> makeStream(
        const StreamConfiguration& stream, const RecordingConfiguration& recording,
        RecordingEvents events) override;

  private:
    const std::string displayName_;
    const std::string soundServer_;
};

}  // namespace vx::platform::linux_
