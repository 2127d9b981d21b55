#include "platform/linux/media/realtime/FfmpegRecordingStreams.h"

#include <algorithm>
#include <limits>
#include <string>

#include "platform/linux/media/realtime/FfmpegRecordingStream.h"

namespace vx::platform::linux_ {

namespace {

// Larger than any screen, small enough that a mistaken size cannot ask for
// gigabytes.
constexpr int64_t kLargestSide = 16384;
constexpr int kLargestChannelCount = 8;

Error refused(std::string description) {
    return Error{kAppErrorDomain, 0, std::move(description)};
}

}  // namespace

FfmpegRecordingStreams::FfmpegRecordingStreams(VideoCaptureOpener openVideo,
                                               std::string soundServer)
    : openVideo_(std::move(openVideo)), soundServer_(std::move(soundServer)) {}

std::expected<std::shared_ptr<RecordingStream>, Error> FfmpegRecordingStreams::makeStream(
    const StreamConfiguration& stream, const RecordingConfiguration& recording,
    RecordingEvents events) {
    // 4:2:0 pictures need even sides.
    if (stream.width < 2 || stream.height < 2 || stream.width > kLargestSide ||
        stream.height > kLargestSide || stream.width % 2 != 0 || stream.height % 2 != 0) {
        return std::unexpected(refused("A recording of " + std::to_string(stream.width) + " × " +
                                       std::to_string(stream.height) + " pixels cannot be made."));
    }
    const MediaTime& period = stream.minimumFrameInterval;
    if (!period.numeric || period.value < 1 || period.timescale < 1 ||
        period.value > std::numeric_limits<int>::max()) {
        return std::unexpected(refused("The frame rate of the recording is not valid."));
    }
    if (stream.sampleRate < 1 || stream.channelCount < 1 ||
        stream.channelCount > kLargestChannelCount) {
        return std::unexpected(refused("The sound format of the recording is not valid."));
    }
    if (stream.captureMicrophone && !stream.microphoneCaptureDeviceID) {
        return std::unexpected(refused("No microphone was chosen for the recording."));
    }
    if (recording.videoCodec == VideoCodec::hevc) {
        return std::unexpected(refused("HEVC recordings cannot be made on this computer."));
    }
    if (recording.outputURL.empty()) {
        return std::unexpected(refused("No file was named for the recording."));
    }
    PipelineSettings settings;
    settings.framePeriodNum = int(period.value);
    settings.framePeriodDen = period.timescale;
    const int frameRate = std::max<int>(1, (period.timescale + period.value - 1) / period.value);
    settings.video = {stream.displayID,   int(stream.width),      int(stream.height),
                      stream.showsCursor, stream.showMouseClicks, frameRate};
    settings.openVideo = openVideo_;
    settings.queueDepth = size_t(std::max(1, stream.queueDepth));
    // Nothing of ours plays sound, so the system sound never holds any of it,
    // whether or not `excludesCurrentProcessAudio` asks for that.
    settings.systemAudio = stream.capturesAudio;
    if (stream.captureMicrophone) {
        settings.microphone = stream.microphoneCaptureDeviceID;
    }
    settings.sampleRate = stream.sampleRate;
    settings.channels = stream.channelCount;
    settings.soundServer = soundServer_;
    settings.fileType = recording.fileType.value_or(MovieFileType::mpeg4);
    settings.file = recording.outputURL;
    return std::make_shared<FfmpegRecordingStream>(std::move(settings), std::move(events));
}

}  // namespace vx::platform::linux_
