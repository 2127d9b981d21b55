// The Wayland screen capture against the headless GNOME session that
// with-desktop.sh --wayland starts, with two virtual monitors (1280x720 and
// 800x600): consent is granted and revoked in the desktop's own permission
// store, as a user's earlier choice in the chooser would have left it. The
// display list is what the main loop last heard from the compositor.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "CommandOutput.h"
#include "MainContext.h"
#include "platform/linux/LinuxUserDirs.h"
#include "platform/linux/store/LinuxDefaultsStore.h"
#include "platform/linux/wayland/PortalScreenCapture.h"
#include "platform/linux/wayland/ScreenCastErrors.h"
#include "platform/linux/wayland/WaylandOutputs.h"
#include "platform/sim/SimLog.h"

namespace vx::platform::linux_ {
namespace {

using fixtures::runUntil;

const uint32_t kFirst = WaylandOutputs::idFor("Meta-0");
const uint32_t kSecond = WaylandOutputs::idFor("Meta-1");
constexpr const char* kTokenKeyPrefix = "screenCastRestoreToken.";

// Runs functions of portal-consent.sh in the test's session.
void consent(const std::string& calls) {
    const std::string command =
        "bash -c '. " VX_INTEGRATION_SCRIPTS "/portal-consent.sh && " + calls + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << calls;
}

// How many of our streams PipeWire has: one per open cast.
int castsOpen() {
    return std::stoi(
        fixtures::commandOutput("pw-cli ls Node | grep -c 'node.name = \"ventilux\"'"));
}

// Switches the desktop's monitors as its display settings do; `logicalMonitors` is
// what Mutter's ApplyMonitorsConfig takes, after the serial of the current state.
void applyMonitors(const std::string& logicalMonitors) {
    const std::string call =
        "gdbus call --session --dest org.gnome.Mutter.DisplayConfig "
        "--object-path /org/gnome/Mutter/DisplayConfig --method org.gnome.Mutter.DisplayConfig.";
    ASSERT_EQ(std::system((call + "ApplyMonitorsConfig $(" + call +
                           "GetCurrentState | sed -E 's/^\\(uint32 ([0-9]+),.*/\\1/') 1 \"" +
                           logicalMonitors + "\" '{}' >/dev/null")
                              .c_str()),
              0);
}

pid_t compositor() {
    const char* pid = std::getenv("WITH_DESKTOP_COMPOSITOR_PID");
    EXPECT_NE(pid, nullptr);
    return pid != nullptr ? std::atoi(pid) : 0;
}

class PortalScreenCaptureTest : public ::testing::Test {
  protected:
    PortalScreenCaptureTest()
        : store_(LinuxDefaultsStore::standardLocation(LinuxUserDirs()), log_),
          capture_(std::make_unique<PortalScreenCapture>(store_, log_)) {}

    std::vector<DisplayInfo> displays() {
        std::vector<DisplayInfo> listed;
        capture_->shareableContent([&](auto result) {
            if (result) {
                listed = result->displays;
            }
        });
        return listed;
    }

    std::string storedToken(uint32_t id) {
        auto value = store_.value(kTokenKeyPrefix + std::to_string(id));
        return value ? std::get<std::string>(*value) : std::string();
    }

    std::expected<std::shared_ptr<const PixelBuffer>, Error> screenshot(uint32_t id, int width,
                                                                        int height) {
        std::expected<std::shared_ptr<const PixelBuffer>, Error> answer = std::unexpected(Error{});
        capture_->captureScreenshot({id, width, height, true, true},
                                    [&](auto result) { answer = std::move(result); });
        return answer;
    }

    sim::SimLog log_;
    LinuxDefaultsStore store_;
    std::unique_ptr<PortalScreenCapture> capture_;
};

TEST_F(PortalScreenCaptureTest, DisplaysAreTheOutputsWithIdsTheirNamesKeepAcrossRuns) {
    // Read while the compositor is frozen: the menu that asks must not wait for it.
    ASSERT_EQ(kill(compositor(), SIGSTOP), 0);
    const std::vector<DisplayInfo> listed = displays();
    const uint32_t main = capture_->mainDisplayID();
    kill(compositor(), SIGCONT);
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(std::tie(listed[0].displayID, listed[0].width, listed[0].height),
              std::tuple(kFirst, 1280, 720));
    EXPECT_EQ(std::tie(listed[1].displayID, listed[1].width, listed[1].height),
              std::tuple(kSecond, 800, 600));
    EXPECT_EQ(main, kFirst);
    // Stored display choices name displays by these numbers: they must not change.
    EXPECT_EQ(kFirst, 3715253869u);
}

TEST_F(PortalScreenCaptureTest, AMonitorSwitchedOffAndOnLeavesTheListAndComesBackUnderItsId) {
    const std::string first = "(0, 0, 1.0, 0, true, [('Meta-0', '1280x720@60.000', {})])";
    const std::string second = "(1280, 0, 1.0, 0, false, [('Meta-1', '800x600@60.000', {})])";
    applyMonitors("[" + first + "]");
    EXPECT_TRUE(runUntil([&] { return displays().size() == 1; }));
    applyMonitors("[" + first + ", " + second + "]");
    ASSERT_TRUE(runUntil([&] { return displays().size() == 2; }));
    EXPECT_EQ(displays()[1].displayID, kSecond);
}

// A display without consent fails at once, without showing the chooser.
TEST_F(PortalScreenCaptureTest, TheConsentInTheDesktopsKeepingDecidesPreflightAndWhatIsShot) {
    EXPECT_FALSE(capture_->preflightAccess());
    consent("grant_screen_cast Meta-0");
    EXPECT_TRUE(capture_->preflightAccess());
    auto picture = screenshot(kSecond, 400, 300);
    ASSERT_FALSE(picture.has_value());
    EXPECT_EQ(picture.error().description, "Screen sharing of this display has not been allowed.");
    auto badSize = screenshot(kFirst, 0, 300);
    ASSERT_FALSE(badSize.has_value());
    EXPECT_EQ(badSize.error().description, "A screenshot of 0 × 300 pixels cannot be taken.");
    consent("grant_screen_cast Meta-0 && revoke_screen_cast");
    EXPECT_FALSE(capture_->preflightAccess()) << "the newest token is no longer granted";
}

TEST_F(PortalScreenCaptureTest, ScreenshotsComeFromOneCastKeptOpenWhileTheyKeepComing) {
    consent("grant_screen_cast Meta-0");
    auto first = screenshot(kFirst, 640, 360);
    ASSERT_TRUE(first.has_value()) << first.error().description;
    EXPECT_EQ((*first)->width, 640);
    EXPECT_EQ((*first)->height, 360);
    // GNOME's default background is blue, far from the black of an empty frame.
    const uint8_t* centre = (*first)->bytes.data() + 180 * (*first)->stride + 320 * 4;
    EXPECT_GT(int(centre[0]), int(centre[2]) + 20) << "blue over red in the middle";
    EXPECT_EQ(centre[3], 255);

    for (int i = 0; i < 3; ++i) {
        auto next = screenshot(kFirst, 1280, 720);
        ASSERT_TRUE(next.has_value()) << next.error().description;
    }
    EXPECT_EQ(castsOpen(), 1);
    // The token the desktop hands back for the next opening is kept.
    EXPECT_FALSE(storedToken(kFirst).empty());

    // Once pictures stop being asked for, the cast closes by itself.
    EXPECT_TRUE(fixtures::within(
        std::chrono::seconds(30), [] { return castsOpen() == 0; }, std::chrono::milliseconds(200)));
}

TEST_F(PortalScreenCaptureTest, ACastWhoseCompositorIsGoneFailsEveryLaterScreenshot) {
    consent("grant_screen_cast Meta-0");
    ASSERT_TRUE(screenshot(kFirst, 320, 180).has_value());
    ASSERT_EQ(kill(compositor(), SIGKILL), 0);
    EXPECT_TRUE(runUntil([&] { return displays().empty(); }))
        << "a compositor that is gone has no displays";

    // The end reaches the stream on PipeWire's own time.
    std::expected<std::shared_ptr<const PixelBuffer>, Error> picture;
    fixtures::within(std::chrono::seconds(20), [&] {
        picture = screenshot(kFirst, 320, 180);
        return !picture.has_value();
    });
    ASSERT_FALSE(picture.has_value());
    EXPECT_EQ(picture.error().domain, kScreenCastErrorDomain);
    EXPECT_EQ(picture.error().code, int64_t(ScreenCastErrorCode::streamEnded));
    EXPECT_FALSE(screenshot(kFirst, 320, 180).has_value()) << "and it stays ended";
}

TEST_F(PortalScreenCaptureTest, AnUnansweredChooserNeitherBlocksNorOutlivesTheCapture) {
    capture_->requestAccess();
    capture_->requestAccess();  // one chooser at a time
    EXPECT_FALSE(capture_->preflightAccess());
    capture_.reset();  // returns although nobody answers the chooser
    EXPECT_TRUE(storedToken(kFirst).empty());
}

}  // namespace
}  // namespace vx::platform::linux_
