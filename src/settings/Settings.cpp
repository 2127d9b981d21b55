#include "settings/Settings.h"

#include <algorithm>
#include <limits>

#include "platform/Services.h"
#include "settings/StoredValue.h"

namespace vx {

namespace {

const std::string kCaptureInterval = "captureInterval";
const std::string kPlaybackFPS = "playbackFPS";
const std::string kResolutionScale = "resolutionScale";
const std::string kShowsCursor = "showsCursor";
const std::string kRealtimeMode = "realtimeMode";
const std::string kRealtimeFPS = "realtimeFPS";
const std::string kCapturesSystemAudio = "capturesSystemAudio";
const std::string kShowsMouseClicks = "showsMouseClicks";
const std::string kCountdownSeconds = "countdownSeconds";
const std::string kHotkeyEnabled = "hotkeyEnabled";
const std::string kDisplayID = "displayID";
const std::string kMicrophoneDeviceID = "microphoneDeviceID";
const std::string kOutputPath = "outputPath";

constexpr double kMinimumCaptureInterval = 0.25;

}  // namespace

Settings::Settings() : d_(*platform::services().defaults) {
    d_.registerDefaults({
        {kCaptureInterval, 2.0},
        {kPlaybackFPS, int64_t{30}},
        {kResolutionScale, 1.0},
        {kShowsCursor, true},
        {kRealtimeMode, false},
        {kRealtimeFPS, int64_t{60}},
        {kCapturesSystemAudio, true},
        {kShowsMouseClicks, true},
        {kCountdownSeconds, int64_t{3}},
        {kHotkeyEnabled, false},
    });
}

double Settings::storedDouble(const std::string& key) const {
    return StoredValue::asDouble(d_.value(key));
}

int64_t Settings::storedInteger(const std::string& key) const {
    return StoredValue::asInteger(d_.value(key));
}

bool Settings::storedBool(const std::string& key) const {
    return StoredValue::asBool(d_.value(key));
}

double Settings::captureInterval() const {
    if (captureIntervalOverride) {
        return *captureIntervalOverride;
    }
    return std::max(storedDouble(kCaptureInterval), kMinimumCaptureInterval);
}

void Settings::setCaptureInterval(double seconds) {
    d_.set(kCaptureInterval, seconds);
}

int64_t Settings::playbackFPS() const {
    return std::max<int64_t>(storedInteger(kPlaybackFPS), 1);
}

void Settings::setPlaybackFPS(int64_t fps) {
    d_.set(kPlaybackFPS, fps);
}

double Settings::resolutionScale() const {
    const double stored = storedDouble(kResolutionScale);
    return stored <= 0 ? 1.0 : stored;
}

void Settings::setResolutionScale(double scale) {
    d_.set(kResolutionScale, scale);
}

bool Settings::showsCursor() const {
    return storedBool(kShowsCursor);
}

void Settings::setShowsCursor(bool shows) {
    d_.set(kShowsCursor, shows);
}

bool Settings::realtimeMode() const {
    return storedBool(kRealtimeMode);
}

void Settings::setRealtimeMode(bool on) {
    d_.set(kRealtimeMode, on);
}

int64_t Settings::realtimeFPS() const {
    return std::max<int64_t>(storedInteger(kRealtimeFPS), 1);
}

void Settings::setRealtimeFPS(int64_t fps) {
    d_.set(kRealtimeFPS, fps);
}

bool Settings::capturesSystemAudio() const {
    return storedBool(kCapturesSystemAudio);
}

void Settings::setCapturesSystemAudio(bool captures) {
    d_.set(kCapturesSystemAudio, captures);
}

bool Settings::showsMouseClicks() const {
    return storedBool(kShowsMouseClicks);
}

void Settings::setShowsMouseClicks(bool shows) {
    d_.set(kShowsMouseClicks, shows);
}

int64_t Settings::countdownSeconds() const {
    return std::max<int64_t>(storedInteger(kCountdownSeconds), 0);
}

void Settings::setCountdownSeconds(int64_t seconds) {
    d_.set(kCountdownSeconds, seconds);
}

bool Settings::hotkeyEnabled() const {
    return storedBool(kHotkeyEnabled);
}

void Settings::setHotkeyEnabled(bool enabled) {
    d_.set(kHotkeyEnabled, enabled);
}

uint32_t Settings::displayID() const {
    const int64_t stored = storedInteger(kDisplayID);
    if (stored < 0 || stored > std::numeric_limits<uint32_t>::max()) {
        return 0;
    }
    return static_cast<uint32_t>(stored);
}

void Settings::setDisplayID(uint32_t id) {
    d_.set(kDisplayID, int64_t{id});
}

std::optional<std::string> Settings::microphoneDeviceID() const {
    auto id = StoredValue::asString(d_.value(kMicrophoneDeviceID));
    if (id && id->empty()) {
        return std::nullopt;
    }
    return id;
}

void Settings::setMicrophoneDeviceID(const std::optional<std::string>& id) {
    d_.set(kMicrophoneDeviceID, id.value_or(std::string()));
}

double Settings::speedupFactor() const {
    return captureInterval() * static_cast<double>(playbackFPS());
}

std::filesystem::path Settings::outputDirectory() const {
    if (auto stored = StoredValue::asString(d_.value(kOutputPath)); stored && !stored->empty()) {
        return std::filesystem::path(*stored);
    }
    const platform::UserDirs& dirs = *platform::services().userDirs;
    if (auto desktops = dirs.desktopDirectories(); !desktops.empty()) {
        return desktops.front();
    }
    return dirs.home() / "Desktop";
}

void Settings::setOutputDirectory(const std::filesystem::path& folder) {
    d_.set(kOutputPath, folder.string());
}

}  // namespace vx
