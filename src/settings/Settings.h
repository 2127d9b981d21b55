#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/DefaultsStore.h"

namespace vx {

// The user's choices, read from and written to the per-user defaults store.
// Nothing persisted is cached here: every getter reads the store afresh and
// sanitises what it finds, every setter stores its value unchanged, so an
// out-of-range value written from elsewhere is corrected each time it is read.
// One instance per process, shared by the delegate, the controller and every
// recorder.
class Settings {
  public:
    // Registers the defaults before anything can read them.
    Settings();
    Settings(const Settings&) = delete;
    Settings& operator=(const Settings&) = delete;

    // Seconds between time-lapse frames, never below 0.25 unless overridden.
    double captureInterval() const;
    void setCaptureInterval(double seconds);

    int64_t playbackFPS() const;  // at least 1
    void setPlaybackFPS(int64_t fps);

    double resolutionScale() const;  // positive
    void setResolutionScale(double scale);

    bool showsCursor() const;
    void setShowsCursor(bool shows);

    bool realtimeMode() const;
    void setRealtimeMode(bool on);

    int64_t realtimeFPS() const;  // at least 1
    void setRealtimeFPS(int64_t fps);

    bool capturesSystemAudio() const;
    void setCapturesSystemAudio(bool captures);

    bool showsMouseClicks() const;
    void setShowsMouseClicks(bool shows);

    int64_t countdownSeconds() const;  // never negative
    void setCountdownSeconds(int64_t seconds);

    bool hotkeyEnabled() const;
    void setHotkeyEnabled(bool enabled);

    // 0 means the main display; a stored value outside 32 bits also reads 0.
    uint32_t displayID() const;
    void setDisplayID(uint32_t id);

    // None means no microphone; it is stored as the empty string.
    std::optional<std::string> microphoneDeviceID() const;
    void setMicrophoneDeviceID(const std::optional<std::string>& id);

    // Real seconds per second of movie: the effective interval times the frame rate.
    double speedupFactor() const;

    // The recordings folder: the stored one, else the user's Desktop. Neither
    // checked nor created here.
    std::filesystem::path outputDirectory() const;
    void setOutputDirectory(const std::filesystem::path& folder);

    // When set, captureInterval returns it as it is, without the floor. Held in
    // memory only, for the self-test; set before the recorder that reads it starts.
    std::optional<double> captureIntervalOverride;

  private:
    double storedDouble(const std::string& key) const;
    int64_t storedInteger(const std::string& key) const;
    bool storedBool(const std::string& key) const;

    platform::DefaultsStore& d_;
};

}  // namespace vx
