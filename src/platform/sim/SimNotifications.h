#pragma once

#include <string>
#include <vector>

#include "platform/Notifications.h"

namespace vx::platform::sim {

// A notification centre of the test's choosing; answers come at once, on the
// caller's thread.
class SimNotifications : public Notifications {
  public:
    struct Delivered {
        std::string title;
        std::string body;
        std::string identifier;
    };

    void authorizationStatus(std::function<void(NotificationAuthorization)> handler) override {
        handler(status);
    }
    void requestAuthorization(std::function<void(bool granted)> handler) override {
        ++authorizationRequests;
        handler(answerToRequest);
    }
    void deliver(const std::string& title, const std::string& body,
                 const std::string& identifier) override {
        delivered.push_back({title, body, identifier});
    }

    NotificationAuthorization status = NotificationAuthorization::notDetermined;
    bool answerToRequest = true;
    int authorizationRequests = 0;
    std::vector<Delivered> delivered;
};

}  // namespace vx::platform::sim
