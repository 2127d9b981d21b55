#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <expected>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include "platform/Types.h"
#include "platform/linux/wayland/PipeWireStream.h"
#include "platform/linux/wayland/ScreenCastPortal.h"
#include "platform/linux/wayland/ScreenCastTokens.h"

namespace vx::platform::linux_ {

// One display being cast: the portal's session and the pictures it sends.
struct ScreenCast {
    std::unique_ptr<ScreenCastSession> session;
    std::unique_ptr<PipeWireStream> stream;  // goes before the session it belongs to

    ~ScreenCast() { stream.reset(); }
};

// Opens casts with the consent stored for each display, never asking the user,
// and keeps the casts that screenshots come from open between screenshots:
// opening one takes the desktop a good part of a second, and a stream per
// picture would flash the desktop's sharing indicator on and off. A kept cast
// closes once screenshots stop coming at their usual pace. Safe to use from
// several threads.
class ScreenCasts {
  public:
    using Clock = std::chrono::steady_clock;

    explicit ScreenCasts(ScreenCastTokens& tokens) : tokens_(tokens) {}
    ~ScreenCasts();
    ScreenCasts(const ScreenCasts&) = delete;
    ScreenCasts& operator=(const ScreenCasts&) = delete;

    // A cast of its own for the caller, at up to `maxFrameRate` pictures a second.
    std::expected<std::unique_ptr<ScreenCast>, Error> open(uint32_t displayID, bool showsCursor,
                                                           int maxFrameRate);
    // The display as it is now, from the kept cast. A cast that has ended
    // keeps failing until it is closed for lack of use.
    std::expected<std::shared_ptr<const PixelBuffer>, Error> newestPicture(uint32_t displayID,
                                                                           bool showsCursor);

  private:
    struct Kept {
        std::shared_ptr<ScreenCast> cast;
        Clock::time_point lastUse;
        Clock::duration usualGap{};
    };
    using Key = std::pair<uint32_t, bool>;

    // With opening_ held.
    std::expected<std::unique_ptr<ScreenCast>, Error> openWithConsent(uint32_t displayID,
                                                                      bool showsCursor,
                                                                      int maxFrameRate);
    std::expected<std::shared_ptr<ScreenCast>, Error> kept(uint32_t displayID, bool showsCursor);
    // The kept cast, marked as used now; null when there is none.
    std::shared_ptr<ScreenCast> use(const Key& key);
    void closeIdle();
    static Clock::duration idleLimit(const Kept& kept);

    ScreenCastTokens& tokens_;
    std::mutex opening_;  // one opening at a time: each restore token is good once

    std::mutex mutex_;
    std::condition_variable changed_;
    // Guarded by mutex_.
    std::map<Key, Kept> kept_;
    bool stopping_ = false;
    std::thread closer_;  // started with the first kept cast
};

}  // namespace vx::platform::linux_
