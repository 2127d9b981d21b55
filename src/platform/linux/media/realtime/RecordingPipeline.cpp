#include "platform/linux/media/realtime/RecordingPipeline.h"

#include <malloc.h>
#include <pthread.h>

#include <algorithm>
#include <system_error>

extern "C" {
#include <libavutil/frame.h>
}

#include "platform/linux/media/LockedMovieFile.h"
#include "platform/linux/media/UnfinishedMovies.h"

namespace vx::platform::linux_ {

namespace {

constexpr int kVideoTrack = 0;
constexpr int kAudioTrack = 1;
constexpr auto kAudioTick = std::chrono::milliseconds(20);
// The mix runs this far behind the clock, so that every source's samples for
// a moment have arrived before that moment is mixed.
constexpr auto kMixDelay = std::chrono::milliseconds(200);
// What the default output plays, whichever output that is. Our own process
// plays nothing, so none of its sound can end up in the recording.
constexpr const char* kSystemSoundSource = "@DEFAULT_MONITOR@";

}  // namespace

std::expected<std::unique_ptr<RecordingPipeline>, Error> RecordingPipeline::start(
    const PipelineSettings& settings, RecordingEvents events) {
    // A movie that a crash left fragmented is made whole before the next one
    // begins, while nothing records yet that the copying could slow down.
    UnfinishedMovies::finalise(settings.file.has_parent_path() ? settings.file.parent_path() : ".");
    std::unique_ptr<RecordingPipeline> pipeline(new RecordingPipeline(settings, std::move(events)));
    auto video = settings.openVideo(settings.video);
    if (!video) {
        return std::unexpected(video.error());
    }
    pipeline->video_ = std::move(*video);
    if (auto sound = pipeline->openSound(); !sound) {
        return std::unexpected(sound.error());
    }
    if (auto encoding = pipeline->openEncoding(); !encoding) {
        return std::unexpected(encoding.error());
    }
    pipeline->startThreads();
    return pipeline;
}

RecordingPipeline::RecordingPipeline(const PipelineSettings& settings, RecordingEvents events)
    : settings_(settings), events_(std::move(events)), frames_(settings.queueDepth) {}

RecordingPipeline::~RecordingPipeline() {
    if (std::this_thread::get_id() == supervisorId_ && supervisor_.joinable()) {
        // An owner let go of us from inside our own report: everything else has
        // stopped, and the supervising thread has nothing left to do but return.
        supervisor_.detach();
        return;
    }
    stop();
}

void RecordingPipeline::stop() {
    {
        std::lock_guard lock(mutex_);
        stopRequested_ = true;
    }
    wake_.notify_all();
    if (std::this_thread::get_id() == supervisorId_) {
        return;
    }
    std::lock_guard lock(joining_);
    if (supervisor_.joinable()) {
        supervisor_.join();
    }
}

std::expected<void, Error> RecordingPipeline::openSound() {
    struct Source {
        std::string name;
        std::string label;
    };
    std::vector<Source> wanted;
    if (settings_.systemAudio) {
        wanted.push_back({kSystemSoundSource, "The system sound"});
    }
    if (settings_.microphone) {
        wanted.push_back({*settings_.microphone, "The microphone “" + *settings_.microphone + "”"});
    }
    if (wanted.empty()) {
        return {};
    }
    auto connection = PulseConnection::open(settings_.soundServer, [this] {
        fail(FailureKind::capture,
             Error{kPulseErrorDomain, 0, "The sound server stopped while recording."});
    });
    if (!connection) {
        return std::unexpected(connection.error());
    }
    sound_ = std::move(*connection);
    mixer_ =
        std::make_unique<AudioMixer>(int(wanted.size()), settings_.sampleRate, settings_.channels);
    for (size_t i = 0; i < wanted.size(); ++i) {
        auto source = PulseCapture::open(
            *sound_, wanted[i].name, wanted[i].label, settings_.sampleRate, settings_.channels,
            [mixer = mixer_.get(), input = int(i)](std::span<const float> samples,
                                                   Clock::time_point taken) {
                mixer->add(input, samples, taken);
            },
            [this](Error error) { fail(FailureKind::capture, std::move(error)); });
        if (!source) {
            return std::unexpected(source.error());
        }
        sources_.push_back(std::move(*source));
    }
    return {};
}

std::expected<void, Error> RecordingPipeline::openEncoding() {
    auto file = LockedMovieFile::createExclusive(settings_.file);
    if (!file) {
        return std::unexpected(file.error());
    }
    // A start that fails leaves no file: nothing was recorded.
    auto abandon = [this](Error error) -> std::expected<void, Error> {
        std::error_code ignored;
        std::filesystem::remove(settings_.file, ignored);
        return std::unexpected(std::move(error));
    };
    auto video = RealtimeEncoder::openH264(settings_.video.width, settings_.video.height,
                                           settings_.framePeriodNum, settings_.framePeriodDen);
    if (!video) {
        return abandon(video.error());
    }
    videoEncoder_ = std::move(*video);
    std::vector<const AVCodecContext*> tracks{&videoEncoder_->context()};
    if (mixer_) {
        auto audio = AudioEncoder::open(settings_.sampleRate, settings_.channels);
        if (!audio) {
            return abandon(audio.error());
        }
        audioEncoder_ = std::move(*audio);
        tracks.push_back(&audioEncoder_->context());
    }
    auto muxer = RealtimeMuxer::open(std::move(*file), settings_.fileType, tracks);
    if (!muxer) {
        return abandon(muxer.error());
    }
    muxer_ = std::move(*muxer);
    return {};
}

void RecordingPipeline::startThreads() {
    origin_ = Clock::now();
    if (mixer_) {
        mixer_->begin(origin_);
        audioEncoding_ = std::thread([this] { encodeAudio(); });
        pthread_setname_np(audioEncoding_.native_handle(), "vx rt audio");
    }
    // Named, so that a profiler or a crash report tells the recording's threads apart.
    videoEncoding_ = std::thread([this] { encodeVideo(); });
    pthread_setname_np(videoEncoding_.native_handle(), "vx rt video");
    videoCapture_ = std::thread([this] { captureVideo(); });
    pthread_setname_np(videoCapture_.native_handle(), "vx rt capture");
    // The supervisor waits for this lock before anything else, so it always
    // knows its own id.
    std::lock_guard lock(mutex_);
    supervisor_ = std::thread([this] { supervise(); });
    pthread_setname_np(supervisor_.native_handle(), "vx rt watch");
    supervisorId_ = supervisor_.get_id();
}

RecordingPipeline::Clock::time_point RecordingPipeline::due(int64_t tick) const {
    return origin_ + std::chrono::nanoseconds(tick * settings_.framePeriodNum * 1'000'000'000 /
                                              settings_.framePeriodDen);
}

void RecordingPipeline::captureVideo() {
    for (int64_t tick = 0;;) {
        {
            std::unique_lock lock(mutex_);
            if (wake_.wait_until(lock, due(tick), [this] { return !capturing_; })) {
                return;
            }
        }
        const Clock::time_point now = Clock::now();
        // A wake-up later than its period (a busy machine) takes the picture
        // of the period it is in: a frame never shows what came after its time.
        tick = std::max(tick, periodAt(now));
        auto frame = video_->capture(now);
        if (!frame) {
            fail(FailureKind::capture, frame.error());
            return;
        }
        (*frame)->pts = tick;
        // A full queue means the encoder is behind: this frame is dropped.
        frames_.offer(std::move(*frame));
        // A capture that took longer than a period gives up the periods it
        // overran, so every frame keeps the time it was taken at.
        tick = std::max(tick + 1, periodAt(Clock::now()));
    }
}

int64_t RecordingPipeline::periodAt(Clock::time_point at) const {
    const int64_t elapsed =
        std::chrono::duration_cast<std::chrono::nanoseconds>(at - origin_).count();
    return elapsed * settings_.framePeriodDen / (int64_t(settings_.framePeriodNum) * 1'000'000'000);
}

void RecordingPipeline::encodeVideo() {
    const RealtimeEncoder::PacketSink sink = trackSink(kVideoTrack);
    bool failed = false;
    // After a failure the queue is still emptied, so that the frames in it go.
    while (auto frame = frames_.take()) {
        if (failed) {
            continue;
        }
        if (auto encoded = videoEncoder_->encode(frame->get(), sink); !encoded) {
            fail(FailureKind::write, encoded.error());
            failed = true;
        }
    }
    if (!failed) {
        if (auto drained = videoEncoder_->encode(nullptr, sink); !drained) {
            fail(FailureKind::write, drained.error());
        }
    }
}

void RecordingPipeline::encodeAudio() {
    const RealtimeEncoder::PacketSink sink = trackSink(kAudioTrack);
    for (;;) {
        std::optional<int64_t> end;
        {
            std::unique_lock lock(mutex_);
            wake_.wait_for(lock, kAudioTick);
            end = soundEnd_;
        }
        int64_t until = mixer_->position(Clock::now() - kMixDelay);
        const bool last = end && until >= *end;
        if (end) {
            until = std::min(until, *end);
        }
        const std::vector<float> mix = mixer_->mixUntil(until);
        if (auto encoded = audioEncoder_->encode(mix, sink); !encoded) {
            fail(FailureKind::write, encoded.error());
            return;
        }
        if (last) {
            if (auto finished = audioEncoder_->finish(sink); !finished) {
                fail(FailureKind::write, finished.error());
            }
            return;
        }
    }
}

RealtimeEncoder::PacketSink RecordingPipeline::trackSink(int track) {
    return [this, track](AVPacket& packet) { return muxer_->write(track, packet); };
}

void RecordingPipeline::fail(FailureKind kind, Error error) {
    {
        std::lock_guard lock(mutex_);
        if (!failure_) {
            failure_ = Failure{kind, std::move(error)};
        }
    }
    wake_.notify_all();
}

void RecordingPipeline::supervise() {
    {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [this] { return stopRequested_ || failure_.has_value(); });
    }
    const std::optional<Error> finishError = windDown();
    std::optional<Failure> failure;
    {
        std::lock_guard lock(mutex_);
        failure = failure_;
    }
    // The report may end our owner's hold on us: nothing of ours is touched after it.
    const RecordingEvents events = std::move(events_);
    if (failure && failure->kind == FailureKind::capture) {
        if (events.didStopWithError) {
            events.didStopWithError(failure->error);
        }
    } else if (failure || finishError) {
        if (events.didFail) {
            events.didFail(failure ? failure->error : *finishError);
        }
    } else if (events.didFinishRecording) {
        events.didFinishRecording();
    }
}

std::optional<Error> RecordingPipeline::windDown() {
    const Clock::time_point stoppedAt = Clock::now();
    {
        std::lock_guard lock(mutex_);
        capturing_ = false;
        if (mixer_) {
            soundEnd_ = mixer_->position(stoppedAt);
        }
    }
    wake_.notify_all();
    videoCapture_.join();
    frames_.close();
    videoEncoding_.join();
    if (audioEncoding_.joinable()) {
        audioEncoding_.join();
    }
    sources_.clear();
    sound_.reset();
    // What only the threads used goes now rather than with the last owner.
    video_.reset();
    videoEncoder_.reset();
    audioEncoder_.reset();
    const std::optional<Error> error = finishFile();
    // What the encoders and the file's finishing freed lies scattered over the
    // heaps of threads that are gone: handed back now, each recording leaves
    // the idle program no bigger than before.
    ::malloc_trim(0);
    return error;
}

std::optional<Error> RecordingPipeline::finishFile() {
    {
        std::lock_guard lock(mutex_);
        // A file that could not be written to cannot take its index either.
        if (failure_ && failure_->kind == FailureKind::write) {
            return std::nullopt;
        }
    }
    auto finished = muxer_->finish();
    return finished ? std::nullopt : std::optional<Error>(finished.error());
}

}  // namespace vx::platform::linux_
