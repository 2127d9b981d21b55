#include "platform/linux/wayland/ScreenCasts.h"

#include <pthread.h>

#include <algorithm>
#include <vector>

#include "platform/linux/wayland/ScreenCastErrors.h"

namespace vx::platform::linux_ {

namespace {

// The desktop answers a restored session at once; only a chooser takes longer,
// and none may appear here.
constexpr auto kRestoreDeadline = std::chrono::seconds(10);
constexpr auto kShortestIdleLimit = std::chrono::seconds(5);
// Screenshots feed a time-lapse, not a movie: the cast need not be faster.
constexpr int kScreenshotFrameRate = 30;

}  // namespace

ScreenCasts::~ScreenCasts() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (closer_.joinable()) {
        closer_.join();
    }
}

std::expected<std::unique_ptr<ScreenCast>, Error> ScreenCasts::open(uint32_t displayID,
                                                                    bool showsCursor,
                                                                    int maxFrameRate) {
    std::lock_guard lock(opening_);
    return openWithConsent(displayID, showsCursor, maxFrameRate);
}

std::expected<std::unique_ptr<ScreenCast>, Error> ScreenCasts::openWithConsent(uint32_t displayID,
                                                                               bool showsCursor,
                                                                               int maxFrameRate) {
    const auto token = tokens_.token(displayID);
    if (!token) {
        return std::unexpected(screenCastError(
            ScreenCastErrorCode::refused, "Screen sharing of this display has not been allowed."));
    }
    auto session = ScreenCastPortal::open({token, showsCursor, kRestoreDeadline, nullptr});
    if (!session) {
        // A token the desktop no longer honours made it show its chooser, which
        // nobody asked to see: the consent is gone until the user gives it again.
        if (session.error().code != int64_t(ScreenCastErrorCode::portalMissing)) {
            tokens_.forget(displayID);
        }
        return std::unexpected(session.error());
    }
    if (!(*session)->restoreToken().empty()) {
        tokens_.store(displayID, (*session)->restoreToken());
    }
    auto stream =
        PipeWireStream::open((*session)->takePipeWire(), (*session)->node(), maxFrameRate);
    if (!stream) {
        return std::unexpected(stream.error());
    }
    auto cast = std::make_unique<ScreenCast>();
    cast->session = std::move(*session);
    cast->stream = std::move(*stream);
    return cast;
}

std::expected<std::shared_ptr<const PixelBuffer>, Error> ScreenCasts::newestPicture(
    uint32_t displayID, bool showsCursor) {
    auto cast = kept(displayID, showsCursor);
    if (!cast) {
        return std::unexpected(cast.error());
    }
    return (*cast)->stream->newest();
}

std::expected<std::shared_ptr<ScreenCast>, Error> ScreenCasts::kept(uint32_t displayID,
                                                                    bool showsCursor) {
    const Key key{displayID, showsCursor};
    if (auto found = use(key)) {
        return found;
    }
    // Screenshots that come while one is opening wait for it rather than open their own.
    std::lock_guard opening(opening_);
    if (auto found = use(key)) {
        return found;
    }
    auto opened = openWithConsent(displayID, showsCursor, kScreenshotFrameRate);
    if (!opened) {
        return std::unexpected(opened.error());
    }
    std::shared_ptr<ScreenCast> cast = std::move(*opened);
    std::lock_guard lock(mutex_);
    kept_.emplace(key, Kept{cast, Clock::now(), {}});
    if (!closer_.joinable()) {
        closer_ = std::thread([this] { closeIdle(); });
        pthread_setname_np(closer_.native_handle(), "vx cast closer");
    }
    changed_.notify_all();
    return cast;
}

std::shared_ptr<ScreenCast> ScreenCasts::use(const Key& key) {
    std::lock_guard lock(mutex_);
    auto found = kept_.find(key);
    if (found == kept_.end()) {
        return nullptr;
    }
    const auto now = Clock::now();
    found->second.usualGap = now - found->second.lastUse;
    found->second.lastUse = now;
    return found->second.cast;
}

ScreenCasts::Clock::duration ScreenCasts::idleLimit(const Kept& kept) {
    return std::max<Clock::duration>(kShortestIdleLimit,
                                     2 * kept.usualGap + std::chrono::seconds(1));
}

void ScreenCasts::closeIdle() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        std::vector<std::shared_ptr<ScreenCast>> idle;
        auto nextCheck = Clock::now() + kShortestIdleLimit;
        for (auto it = kept_.begin(); it != kept_.end();) {
            const auto closesAt = it->second.lastUse + idleLimit(it->second);
            if (closesAt <= Clock::now()) {
                idle.push_back(std::move(it->second.cast));
                it = kept_.erase(it);
            } else {
                nextCheck = std::min(nextCheck, closesAt);
                ++it;
            }
        }
        if (!idle.empty()) {
            // Closing talks to PipeWire and the bus: not while screenshots wait.
            lock.unlock();
            idle.clear();
            lock.lock();
            continue;
        }
        changed_.wait_until(lock, nextCheck);
    }
    kept_.clear();
}

}  // namespace vx::platform::linux_
