#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

#include "platform/sim/SimPlatform.h"
#include "settings/Settings.h"

namespace vx {
namespace {

using platform::DefaultsValue;
using platform::sim::SimPlatform;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();

class SettingsTest : public ::testing::Test {
  protected:
    SimPlatform sim;
    Settings settings;
};

// Every getter as a number, so that one table can cover them all.
using Getter = std::function<double(const Settings&)>;
const Getter captureInterval = [](const Settings& s) { return s.captureInterval(); };
const Getter playbackFPS = [](const Settings& s) { return double(s.playbackFPS()); };
const Getter realtimeFPS = [](const Settings& s) { return double(s.realtimeFPS()); };
const Getter resolutionScale = [](const Settings& s) { return s.resolutionScale(); };
const Getter countdownSeconds = [](const Settings& s) { return double(s.countdownSeconds()); };
const Getter displayID = [](const Settings& s) { return double(s.displayID()); };
const Getter speedupFactor = [](const Settings& s) { return s.speedupFactor(); };
const Getter showsCursor = [](const Settings& s) { return double(s.showsCursor()); };
const Getter hotkeyEnabled = [](const Settings& s) { return double(s.hotkeyEnabled()); };

struct StoredCase {
    const char* key;
    DefaultsValue stored;
    Getter getter;
    double expected;
};

void expectReads(SimPlatform& sim, const Settings& settings, const std::vector<StoredCase>& cases) {
    for (const auto& [key, stored, getter, expected] : cases) {
        sim.defaults().stored = {{key, stored}};
        EXPECT_DOUBLE_EQ(getter(settings), expected)
            << key << " stored as alternative " << stored.index();
    }
}

TEST_F(SettingsTest, AnEmptyStoreReadsAsTheDefaultsWithoutWritingThem) {
    EXPECT_EQ(settings.captureInterval(), 2.0);
    EXPECT_EQ(settings.playbackFPS(), 30);
    EXPECT_EQ(settings.speedupFactor(), 60.0);
    EXPECT_EQ(settings.resolutionScale(), 1.0);
    EXPECT_TRUE(settings.showsCursor());
    EXPECT_FALSE(settings.realtimeMode());
    EXPECT_EQ(settings.realtimeFPS(), 60);
    EXPECT_TRUE(settings.capturesSystemAudio());
    EXPECT_TRUE(settings.showsMouseClicks());
    EXPECT_EQ(settings.countdownSeconds(), 3);
    EXPECT_FALSE(settings.hotkeyEnabled());
    EXPECT_EQ(settings.displayID(), 0u);
    EXPECT_EQ(settings.microphoneDeviceID(), std::nullopt);
    EXPECT_EQ(settings.outputDirectory(), "/home/tester/Desktop");
    EXPECT_TRUE(sim.defaults().stored.empty()) << "the defaults lie beneath; nothing is written";
}

TEST_F(SettingsTest, OutOfRangeStoredValuesAreCorrectedOnRead) {
    expectReads(sim, settings,
                {
                    {"captureInterval", 0.1, captureInterval, 0.25},
                    {"captureInterval", -3.0, captureInterval, 0.25},
                    {"captureInterval", kNaN, captureInterval, 0.25},
                    {"captureInterval", kInfinity, captureInterval, 0.25},
                    {"captureInterval", 60.0, captureInterval, 60},
                    {"playbackFPS", int64_t{0}, playbackFPS, 1},
                    {"playbackFPS", int64_t{0}, speedupFactor, 2.0},
                    {"realtimeFPS", int64_t{-1}, realtimeFPS, 1},
                    {"resolutionScale", 0.0, resolutionScale, 1.0},
                    {"resolutionScale", kNaN, resolutionScale, 1.0},
                    {"resolutionScale", -kInfinity, resolutionScale, 1.0},
                    {"resolutionScale", 2.0, resolutionScale, 2.0},
                    {"countdownSeconds", int64_t{-5}, countdownSeconds, 0},
                    {"displayID", int64_t{4294967295}, displayID, 4294967295.0},
                    {"displayID", int64_t{4294967296}, displayID, 0},
                    {"displayID", int64_t{-1}, displayID, 0},
                });
}

// Values a hand edit or another program may leave under a key read the way the
// original desktop's defaults store converts them.
TEST_F(SettingsTest, WronglyTypedStoredValuesConvertLikeTheDesktopStore) {
    expectReads(sim, settings,
                {
                    {"captureInterval", std::string("5"), captureInterval, 5},
                    {"captureInterval", std::string(" 1.5s"), captureInterval, 1.5},
                    {"captureInterval", std::string("abc"), captureInterval, 0.25},
                    {"captureInterval", std::string("nan"), captureInterval, 0.25},
                    {"captureInterval", int64_t{3}, captureInterval, 3},
                    {"captureInterval", true, captureInterval, 1},
                    {"playbackFPS", 24.9, playbackFPS, 24},
                    {"playbackFPS", 1e30, playbackFPS, 9223372036854775807.0},
                    {"playbackFPS", kNaN, playbackFPS, 1},
                    {"playbackFPS", std::string("12fps"), playbackFPS, 12},
                    {"playbackFPS", std::string("+48"), playbackFPS, 48},
                    {"playbackFPS", std::string("99999999999999999999"), playbackFPS,
                     9223372036854775807.0},
                    {"playbackFPS", std::string(""), playbackFPS, 1},
                    {"countdownSeconds", std::string(" -7"), countdownSeconds, 0},
                    {"displayID", 3.9, displayID, 3},
                    {"showsCursor", std::string("NO"), showsCursor, 0},
                    {"showsCursor", std::string("007"), showsCursor, 1},
                    {"showsCursor", std::string("0.9"), showsCursor, 0},
                    {"hotkeyEnabled", 0.5, hotkeyEnabled, 1},
                    {"hotkeyEnabled", std::string("true"), hotkeyEnabled, 1},
                });
    sim.defaults().stored = {{"microphoneDeviceID", int64_t{42}}, {"outputPath", false}};
    EXPECT_EQ(settings.microphoneDeviceID(), "42");
    EXPECT_EQ(settings.outputDirectory(), "0");
}

TEST_F(SettingsTest, NoMicrophoneIsStoredAsTheEmptyStringAndReadsAsNone) {
    settings.setMicrophoneDeviceID("built-in");
    settings.setMicrophoneDeviceID(std::nullopt);
    EXPECT_EQ(sim.defaults().stored.at("microphoneDeviceID"), DefaultsValue(std::string()));
    EXPECT_EQ(settings.microphoneDeviceID(), std::nullopt);
}

TEST_F(SettingsTest, TheRecordingsFolderFallsBackToTheDesktopThenToHome) {
    const struct {
        std::optional<std::string> outputPath;
        std::vector<std::filesystem::path> desktops;
        std::filesystem::path expected;
    } cases[] = {
        {std::nullopt, {"/home/tester/Schreibtisch", "/other"}, "/home/tester/Schreibtisch"},
        {"", {"/srv/desk"}, "/srv/desk"},
        {"", {}, "/home/tester/Desktop"},
        {"/no/such/folder", {"/home/tester/Desktop"}, "/no/such/folder"},
    };
    sim.userDirs().homeFolder = "/home/tester";
    for (const auto& [outputPath, desktops, expected] : cases) {
        sim.defaults().stored.clear();
        if (outputPath) {
            sim.defaults().stored["outputPath"] = *outputPath;
        }
        sim.userDirs().desktops = desktops;
        EXPECT_EQ(settings.outputDirectory(), expected) << outputPath.value_or("(none)");
    }
}

}  // namespace
}  // namespace vx
