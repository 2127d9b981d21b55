#pragma once

#include <gio/gio.h>

#include <expected>
#include <functional>
#include <string>

namespace vx::platform::linux_ {

// One call to the desktop portal answered, perhaps much later (after a dialog),
// by its request object's Response signal, without waiting for it: the answer
// comes on the main context of the thread that started the call.
class AsyncPortalRequest {
  public:
    // The results (a{sv}, borrowed for the call) of an accepted request, or why
    // there are none: the bus's error, or the user's or the desktop's refusal.
    using Answer = std::function<void(std::expected<GVariant*, std::string> results)>;

    // Calls `method` of the portal's `interface` with what `parameters` builds
    // around the request's handle token (for the "handle_token" option);
    // `answered` is called exactly once, never from within this call.
    static void start(GDBusConnection* bus, const char* interface, const char* method,
                      const std::function<GVariant*(const std::string& handleToken)>& parameters,
                      Answer answered);

    // A token unique in this process, for requests and sessions alike.
    static std::string newToken();
};

}  // namespace vx::platform::linux_
