#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace vx {

// What the menu, the self-tests and the quit handshake drive a recording
// through, whatever the mode. Used from the main thread only; every callback
// and completion arrives on the main thread, posted, never from inside the
// call that caused it.
class Recorder {
  public:
    using StateChange = std::function<void(bool isRecording)>;
    // `file` is present only when the text announces a saved movie.
    using Message = std::function<void(const std::string& text,
                                       const std::optional<std::filesystem::path>& file)>;

    virtual ~Recorder() = default;

    virtual bool isRecording() const = 0;
    // True from start() until the session is over: while it starts, records
    // or finishes its movie. A busy recorder must not be let go of, or its
    // session would go on with nobody to hear from it.
    virtual bool isBusy() const = 0;
    // Returns at once; the outcome comes through the callbacks.
    virtual void start() = 0;
    // Returns at once; `completion` runs once on the main thread after the
    // movie is finished, or a moment later when nothing was recording.
    virtual void stop(std::function<void()> completion) = 0;
    // A short text describing the running session for the menu, or none.
    virtual std::optional<std::string> sessionLabel() const = 0;

    void toggle() {
        if (isRecording()) {
            stop(nullptr);
        } else {
            start();
        }
    }

    // Unset callbacks are skipped. Read on the main thread only.
    StateChange onStateChange;
    Message onMessage;
};

}  // namespace vx
