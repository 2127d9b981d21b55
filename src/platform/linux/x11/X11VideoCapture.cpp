#include "platform/linux/x11/X11VideoCapture.h"

#include <algorithm>

#include "platform/linux/image/CursorOverlay.h"

namespace vx::platform::linux_ {

namespace {

constexpr auto kLocateEvery = std::chrono::seconds(1);

}  // namespace

std::expected<std::unique_ptr<VideoCapture>, Error> X11VideoCapture::open(
    const VideoCaptureSettings& settings) {
    auto session = X11Session::open({});
    if (!session) {
        return std::unexpected(session.error());
    }
    std::unique_ptr<X11VideoCapture> capture(new X11VideoCapture(settings, std::move(*session)));
    if (auto located = capture->locate(Clock::now()); !located) {
        return std::unexpected(located.error());
    }
    return capture;
}

X11VideoCapture::X11VideoCapture(const VideoCaptureSettings& settings,
                                 std::unique_ptr<X11Session> session)
    : settings_(settings), session_(std::move(session)), clicks_(session_->connection()) {}

std::expected<void, Error> X11VideoCapture::locate(Clock::time_point now) {
    if (locatedAt_ && now - *locatedAt_ < kLocateEvery) {
        return {};
    }
    auto monitors = session_->monitors().list();
    if (!monitors) {
        return std::unexpected(monitors.error());
    }
    auto found = std::find_if(monitors->begin(), monitors->end(),
                              [this](const X11Monitor& m) { return m.id == settings_.displayID; });
    if (found == monitors->end()) {
        return std::unexpected(
            x11Error(X11ErrorCode::displayGone, "The display to capture is no longer connected."));
    }
    monitor_ = *found;
    locatedAt_ = now;
    return RealtimeFrameScaler::fit(scaler_, monitor_.width, monitor_.height, settings_.width,
                                    settings_.height);
}

std::expected<AvFramePtr, Error> X11VideoCapture::capture(Clock::time_point now) {
    if (auto located = locate(now); !located) {
        return std::unexpected(located.error());
    }
    const auto cursorAsked =
        settings_.showsCursor ? session_->cursor().ask() : X11CursorSource::Asked{};
    auto frame = session_->grabber().grab(monitor_.x, monitor_.y, monitor_.width, monitor_.height);
    const auto cursor = session_->cursor().answer(cursorAsked);
    if (!frame) {
        return std::unexpected(frame.error());
    }
    if (settings_.showsClicks) {
        clicks_.look(now);
        clicks_.draw(*frame, monitor_.x, monitor_.y, double(monitor_.width) / settings_.width, now);
    }
    if (cursor) {
        CursorOverlay::draw(*cursor, *frame, monitor_.x, monitor_.y);
    }
    return scaler_->convert(*frame);
}

}  // namespace vx::platform::linux_
