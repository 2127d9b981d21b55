// The X11 screen capture against the Xvfb server that with-desktop.sh starts: the
// test paints known colours on the root window and reads them back. The display
// list follows the monitors that come and go on the main loop.
#include <gtest/gtest.h>
#include <signal.h>
#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "MainContext.h"
#include "platform/linux/image/ScreenshotPicture.h"
#include "platform/linux/x11/X11ScreenCapture.h"
#include "platform/linux/x11/XcbConnection.h"

namespace vx::platform::linux_ {
namespace {

using fixtures::runUntil;

struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb&) const = default;
};

void PrintTo(const Rgb& c, std::ostream* out) {
    *out << "rgb(" << int(c.r) << ", " << int(c.g) << ", " << int(c.b) << ")";
}

constexpr Rgb kRed{255, 0, 0};
constexpr Rgb kGreen{0, 255, 0};
constexpr Rgb kBlue{0, 0, 255};
constexpr Rgb kYellow{255, 255, 0};
constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kWhite{255, 255, 255};
constexpr int kScreenWidth = 1920;  // with-desktop.sh's default screen
constexpr int kScreenHeight = 1080;

// Paints on the test's X server and moves its pointer, through a connection of its own.
class TestScreen {
  public:
    TestScreen() : connection_(xcb_connect(nullptr, nullptr)) {
        if (xcb_connection_has_error(connection_) == 0) {
            screen_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
        }
    }
    ~TestScreen() { xcb_disconnect(connection_); }
    bool ready() const { return screen_ != nullptr; }

    void fill(int x, int y, int width, int height, Rgb colour) {
        const uint32_t pixel = uint32_t(colour.r) << 16 | uint32_t(colour.g) << 8 | colour.b;
        const xcb_gcontext_t gc = xcb_generate_id(connection_);
        xcb_create_gc(connection_, gc, screen_->root, XCB_GC_FOREGROUND, &pixel);
        const xcb_rectangle_t area{int16_t(x), int16_t(y), uint16_t(width), uint16_t(height)};
        xcb_poly_fill_rectangle(connection_, screen_->root, gc, 1, &area);
        xcb_free_gc(connection_, gc);
        sync();
    }

    // Red, green / blue, yellow: each quadrant of the screen in its own colour.
    void paintQuadrants() {
        const int w = kScreenWidth / 2, h = kScreenHeight / 2;
        fill(0, 0, w, h, kRed);
        fill(w, 0, w, h, kGreen);
        fill(0, h, w, h, kBlue);
        fill(w, h, w, h, kYellow);
    }

    void movePointer(int x, int y) {
        xcb_warp_pointer(connection_, XCB_NONE, screen_->root, 0, 0, 0, 0, int16_t(x), int16_t(y));
        sync();
    }

  private:
    // A round trip: everything sent before has been carried out once it returns.
    void sync() {
        free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
    }

    xcb_connection_t* connection_;
    const xcb_screen_t* screen_ = nullptr;
};

void xrandr(const std::string& arguments) {
    ASSERT_EQ(std::system(("xrandr " + arguments + " >/dev/null").c_str()), 0)
        << "xrandr " << arguments;
}

// The service answers on the caller's thread before the call returns.
auto capture(ScreenCapture& service, const ScreenshotRequest& request) {
    std::expected<std::shared_ptr<const PixelBuffer>, Error> shot = std::unexpected(Error{});
    service.captureScreenshot(request, [&](auto answer) { shot = std::move(answer); });
    return shot;
}

auto content(ScreenCapture& service) {
    std::expected<ShareableContent, Error> listed = std::unexpected(Error{});
    service.shareableContent([&](auto answer) { listed = std::move(answer); });
    return listed;
}

Rgb pixel(const PixelBuffer& image, int64_t x, int64_t y) {
    const uint8_t* p = image.bytes.data() + y * image.stride + x * 4;
    return {p[2], p[1], p[0]};
}

// The display of that size; the tests give each monitor a size of its own.
DisplayInfo displayOfSize(const ShareableContent& listed, int64_t width, int64_t height) {
    for (const DisplayInfo& display : listed.displays) {
        if (display.width == width && display.height == height) {
            return display;
        }
    }
    ADD_FAILURE() << "no display of " << width << "x" << height;
    return {};
}

class X11ScreenCaptureTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(screen.ready()) << "needs the X server of with-desktop.sh --x";
        screen.paintQuadrants();
    }

    // Monitors come and go as `xrandr --setmonitor` makes them, and the service's
    // list follows without being asked; each test removes its own.
    void addMonitor(const std::string& name, int width, int height, int x, int y,
                    bool primary = false) {
        const size_t before = displayCount();
        xrandr("--setmonitor '" + std::string(primary ? "*" : "") + name + "' " +
               std::to_string(width) + "/100x" + std::to_string(height) + "/100+" +
               std::to_string(x) + "+" + std::to_string(y) + " none");
        added.push_back(name);
        EXPECT_TRUE(runUntil([&] { return displayCount() == before + 1; }))
            << "the list never showed " << name;
    }
    void removeMonitor(const std::string& name) {
        const size_t before = displayCount();
        xrandr("--delmonitor " + name);
        std::erase(added, name);
        EXPECT_TRUE(runUntil([&] { return displayCount() == before - 1; }))
            << "the list still shows " << name;
    }
    size_t displayCount() {
        auto listed = content(service);
        return listed ? listed->displays.size() : 0;
    }
    void TearDown() override {
        while (!added.empty()) {
            removeMonitor(added.back());
        }
    }

    DisplayInfo wholeScreen() {
        auto listed = content(service);
        EXPECT_TRUE(listed.has_value());
        return listed ? displayOfSize(*listed, kScreenWidth, kScreenHeight) : DisplayInfo{};
    }

    TestScreen screen;
    X11ScreenCapture service;
    std::vector<std::string> added;
};

// The menu reads the list while it opens: a server that stops answering must not
// hold it up.
TEST_F(X11ScreenCaptureTest, ListsEveryMonitorWithAStableIdAndThePrimaryAsMainWithoutWaiting) {
    addMonitor("left", 1280, 1080, 0, 0, true);
    addMonitor("right", 640, 540, 1280, 0);
    auto before = content(service);
    ASSERT_TRUE(before.has_value()) << before.error().description;
    ASSERT_EQ(before->displays.size(), 3u) << "left, right and Xvfb's own whole-screen monitor";
    const DisplayInfo left = displayOfSize(*before, 1280, 1080);
    const DisplayInfo right = displayOfSize(*before, 640, 540);
    const DisplayInfo whole = displayOfSize(*before, kScreenWidth, kScreenHeight);
    EXPECT_NE(left.displayID, 0u);
    EXPECT_NE(right.displayID, 0u);
    EXPECT_NE(left.displayID, right.displayID);
    EXPECT_NE(left.displayID, whole.displayID);
    EXPECT_EQ(service.mainDisplayID(), left.displayID);

    // Another monitor coming and going does not renumber the others, nor does another
    // client (a fresh service has its own connection).
    addMonitor("extra", 100, 100, 0, 0);
    removeMonitor("extra");
    X11ScreenCapture another;
    auto after = content(another);
    ASSERT_TRUE(after.has_value());
    EXPECT_EQ(displayOfSize(*after, 1280, 1080).displayID, left.displayID);
    EXPECT_EQ(displayOfSize(*after, 640, 540).displayID, right.displayID);
    EXPECT_EQ(another.mainDisplayID(), left.displayID);

    const char* server = std::getenv("WITH_DESKTOP_X_PID");
    ASSERT_NE(server, nullptr);
    ASSERT_EQ(kill(std::atoi(server), SIGSTOP), 0);
    auto frozen = content(service);
    const uint32_t main = service.mainDisplayID();
    kill(std::atoi(server), SIGCONT);
    ASSERT_TRUE(frozen.has_value());
    EXPECT_EQ(frozen->displays.size(), 3u);
    EXPECT_EQ(main, left.displayID);
}

TEST_F(X11ScreenCaptureTest, ScreenshotShowsThePaintedColoursInPlaceAtEveryScale) {
    const uint32_t id = wholeScreen().displayID;
    for (double scale : {1.0, 0.5, 0.25, 2.0}) {
        SCOPED_TRACE("scale " + std::to_string(scale));
        const int64_t w = int64_t(kScreenWidth * scale), h = int64_t(kScreenHeight * scale);
        auto shot = capture(service, {id, w, h, false, true});
        ASSERT_TRUE(shot.has_value()) << shot.error().description;
        const PixelBuffer& image = **shot;
        ASSERT_EQ(image.width, w);
        ASSERT_EQ(image.height, h);
        EXPECT_GE(image.stride, w * 4);
        // Quadrant centres, and the pixels either side of each boundary.
        EXPECT_EQ(pixel(image, w / 4, h / 4), kRed);
        EXPECT_EQ(pixel(image, 3 * w / 4, h / 4), kGreen);
        EXPECT_EQ(pixel(image, w / 4, 3 * h / 4), kBlue);
        EXPECT_EQ(pixel(image, 3 * w / 4, 3 * h / 4), kYellow);
        const int64_t edge = scale > 1 ? 2 : 1;  // bilinear enlarging blends the seam pixel
        EXPECT_EQ(pixel(image, w / 2 - edge, h / 4), kRed);
        EXPECT_EQ(pixel(image, w / 2 + edge - 1, h / 4), kGreen);
        EXPECT_EQ(pixel(image, w / 4, h / 2 - edge), kRed);
        EXPECT_EQ(pixel(image, w / 4, h / 2 + edge - 1), kBlue);
        EXPECT_EQ(pixel(image, 0, 0), kRed);
        EXPECT_EQ(pixel(image, w - 1, h - 1), kYellow);
    }
}

// Screenshots are handed on in the memory they were taken into, which is used again
// for later ones: pictures still held, as a movie writer holds its frames, must keep
// their colours while more are taken than the service keeps memory for.
TEST_F(X11ScreenCaptureTest, HeldScreenshotsKeepTheirPicturesWhileMoreAreTaken) {
    const uint32_t id = wholeScreen().displayID;
    const Rgb colours[] = {kRed, kGreen, kBlue, kYellow, kWhite, kBlack};
    for (int divisor : {1, 2, 1}) {  // the last round takes memory the first let go
        SCOPED_TRACE("1/" + std::to_string(divisor));
        const int64_t w = kScreenWidth / divisor, h = kScreenHeight / divisor;
        std::vector<std::shared_ptr<const PixelBuffer>> held;
        for (const Rgb& colour : colours) {
            screen.fill(0, 0, kScreenWidth, kScreenHeight, colour);
            auto shot = capture(service, {id, w, h, false, true});
            ASSERT_TRUE(shot.has_value()) << shot.error().description;
            held.push_back(*shot);
        }
        for (size_t k = 0; k < held.size(); ++k) {
            EXPECT_EQ(pixel(*held[k], 0, 0), colours[k]) << k;
            EXPECT_EQ(pixel(*held[k], w - 1, h - 1), colours[k]) << k;
        }
    }
}

TEST_F(X11ScreenCaptureTest, SecondMonitorShowsOnlyItsOwnRectangle) {
    // Straddles the green and yellow quadrants, well away from red and blue.
    addMonitor("side", 640, 540, 1280, 270);
    auto listed = content(service);
    ASSERT_TRUE(listed.has_value());
    auto shot = capture(service, {displayOfSize(*listed, 640, 540).displayID, 640, 540, false});
    ASSERT_TRUE(shot.has_value()) << shot.error().description;
    const PixelBuffer& image = **shot;
    for (int64_t y = 0; y < image.height; ++y) {
        const Rgb expected = y < 270 ? kGreen : kYellow;
        for (int64_t x = 0; x < image.width; ++x) {
            ASSERT_EQ(pixel(image, x, y), expected) << "at " << x << "," << y;
        }
    }
}

TEST_F(X11ScreenCaptureTest, ScalingToFitKeepsTheAspectOnBlackOrStretches) {
    const uint32_t id = wholeScreen().displayID;
    // 1920 x 1080 into 960 x 960: the picture is 960 x 540, 210 rows below the top.
    auto fitted = capture(service, {id, 960, 960, false, true});
    ASSERT_TRUE(fitted.has_value());
    EXPECT_EQ(pixel(**fitted, 480, 209), kBlack);
    EXPECT_EQ(pixel(**fitted, 0, 210), kRed);
    EXPECT_EQ(pixel(**fitted, 959, 749), kYellow);
    EXPECT_EQ(pixel(**fitted, 480, 750), kBlack);

    auto stretched = capture(service, {id, 960, 960, false, false});
    ASSERT_TRUE(stretched.has_value());
    EXPECT_EQ(pixel(**stretched, 0, 0), kRed);
    EXPECT_EQ(pixel(**stretched, 959, 959), kYellow);
    EXPECT_EQ(pixel(**stretched, 240, 470), kRed);
    EXPECT_EQ(pixel(**stretched, 240, 490), kBlue);
}

TEST_F(X11ScreenCaptureTest, ShrinkingAveragesFineLinesIntoGrey) {
    const uint32_t id = wholeScreen().displayID;
    // One-pixel white columns, `period` apart, on black: sampling instead of averaging
    // would give pure black or white.
    struct Case {
        int divisor;
        int period;
        double grey;
    } cases[] = {{2, 2, 127.5}, {4, 2, 127.5}, {3, 3, 85}};
    for (const Case& c : cases) {
        SCOPED_TRACE("1/" + std::to_string(c.divisor));
        screen.fill(96, 96, 384, 384, kBlack);
        for (int x = 96; x < 480; x += c.period) {
            screen.fill(x, 96, 1, 384, kWhite);
        }
        auto shot = capture(service,
                            {id, kScreenWidth / c.divisor, kScreenHeight / c.divisor, false, true});
        ASSERT_TRUE(shot.has_value());
        for (int at = 120 / c.divisor; at < 450 / c.divisor; ++at) {
            const Rgb grey = pixel(**shot, at, at);
            EXPECT_NEAR(grey.r, c.grey, 1) << "at " << at;
            EXPECT_EQ(grey.r, grey.g);
            EXPECT_EQ(grey.g, grey.b);
        }
    }
}

TEST_F(X11ScreenCaptureTest, PointerIsDrawnOnlyWhenAsked) {
    screen.movePointer(480, 270);  // the middle of the red quadrant
    const uint32_t id = wholeScreen().displayID;
    auto count = [&](bool showsCursor) {
        auto shot = capture(service, {id, kScreenWidth, kScreenHeight, showsCursor, true});
        EXPECT_TRUE(shot.has_value());
        int changed = 0;
        for (int y = 270 - 40; y < 270 + 40; ++y) {
            for (int x = 480 - 40; x < 480 + 40; ++x) {
                changed += shot && pixel(**shot, x, y) != kRed;
            }
        }
        return changed;
    };
    EXPECT_EQ(count(false), 0);
    EXPECT_GT(count(true), 20);
}

// Sizes no one could mean are refused before the server is asked; a display that
// went is refused, and the service goes on serving the displays that remain.
TEST_F(X11ScreenCaptureTest, RequestsThatCannotBeAnsweredGiveErrors) {
    const uint32_t id = wholeScreen().displayID;
    addMonitor("brief", 640, 480, 0, 0);
    const uint32_t gone = displayOfSize(content(service).value(), 640, 480).displayID;
    removeMonitor("brief");
    X11ScreenCapture noServer(":9999");
    const std::string refused = ScreenshotPicture::kErrorDomain;
    const struct {
        ScreenCapture& service;
        ScreenshotRequest request;
        std::string domain, description;
    } cases[] = {
        {service, {id, 0, 36}, refused, "A screenshot of 0 × 36 pixels cannot be taken."},
        {service, {id, 64, -1}, refused, "A screenshot of 64 × -1 pixels cannot be taken."},
        {service,
         {id, 16385, 1000},
         refused,
         "A screenshot of 16385 × 1000 pixels cannot be taken."},
        {service, {gone, 640, 480}, "X11", "The display to capture is no longer connected."},
        {noServer, {id, 64, 36}, "X11", "Cannot open the X display :9999."},
    };
    for (const auto& c : cases) {
        auto shot = capture(c.service, c.request);
        ASSERT_FALSE(shot.has_value()) << c.description;
        EXPECT_EQ(shot.error().domain, c.domain);
        EXPECT_EQ(shot.error().description, c.description);
    }
    EXPECT_TRUE(capture(service, {id, 64, 36}).has_value());
    auto listed = content(noServer);
    ASSERT_FALSE(listed.has_value());
    EXPECT_EQ(listed.error().description, "Cannot open the X display :9999.");
    EXPECT_EQ(noServer.mainDisplayID(), 0u);
}

TEST_F(X11ScreenCaptureTest, ScreenshotsFromSeveralThreadsAtOnceAreEachRight) {
    // One monitor inside each quadrant, each of its own size, so that an image or a
    // buffer mixed up between concurrent calls shows as a wrong colour or size.
    struct Region {
        const char* name;
        int width, height, x, y;
        Rgb colour;
    } regions[] = {{"q-red", 900, 500, 20, 20, kRed},
                   {"q-green", 800, 450, 1000, 40, kGreen},
                   {"q-blue", 600, 400, 100, 600, kBlue},
                   {"q-yellow", 940, 520, 970, 550, kYellow}};
    for (const Region& r : regions) {
        addMonitor(r.name, r.width, r.height, r.x, r.y);
    }
    auto listed = content(service);
    ASSERT_TRUE(listed.has_value());
    std::vector<std::thread> threads;
    std::vector<int> wrong(std::size(regions), 0);
    for (size_t t = 0; t < std::size(regions); ++t) {
        const Region& r = regions[t];
        const uint32_t id = displayOfSize(*listed, r.width, r.height).displayID;
        threads.emplace_back([&, t, id] {
            for (int i = 0; i < 10; ++i) {
                auto shot = capture(service, {id, r.width, r.height, true, true});
                wrong[t] += !shot || (*shot)->width != r.width || (*shot)->height != r.height ||
                            pixel(**shot, 0, 0) != r.colour ||
                            pixel(**shot, r.width - 1, r.height - 1) != r.colour;
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(wrong, std::vector<int>(std::size(regions), 0));
}

// Registered to run on an Xvfb without RandR and shared memory: the whole screen is
// then the one display, read through the socket.
TEST_F(X11ScreenCaptureTest, WithoutRandrOrSharedMemoryTheWholeScreenIsCaptured) {
    auto listed = content(service);
    ASSERT_TRUE(listed.has_value());
    ASSERT_EQ(listed->displays.size(), 1u);
    EXPECT_EQ(listed->displays[0].width, kScreenWidth);
    EXPECT_EQ(service.mainDisplayID(), listed->displays[0].displayID);
    auto shot = capture(service, {service.mainDisplayID(), 960, 540, false, true});
    ASSERT_TRUE(shot.has_value()) << shot.error().description;
    EXPECT_EQ(pixel(**shot, 240, 135), kRed);
    EXPECT_EQ(pixel(**shot, 720, 405), kYellow);
}

}  // namespace
}  // namespace vx::platform::linux_
