#pragma once

#include <functional>
#include <string>

namespace vx::platform {

enum class NotificationAuthorization { notDetermined, denied, authorized, provisional, ephemeral };

// The desktop's notifications. Called on the main thread; no call waits for
// the desktop's answer. Handlers run once, on any thread.
class Notifications {
  public:
    virtual ~Notifications() = default;
    virtual void authorizationStatus(std::function<void(NotificationAuthorization)> handler) = 0;
    // Asks to show alerts with sound; `handler` gets whether that is allowed.
    virtual void requestAuthorization(std::function<void(bool granted)> handler) = 0;
    // Shows it at once; nothing is reported back.
    virtual void deliver(const std::string& title, const std::string& body,
                         const std::string& identifier) = 0;
};

}  // namespace vx::platform
