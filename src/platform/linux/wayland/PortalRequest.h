#pragma once

#include <gio/gio.h>

#include <chrono>
#include <expected>
#include <functional>
#include <memory>
#include <string>

#include "platform/Types.h"

namespace vx::platform::linux_ {

// A portal request whose answer the calling thread waits for, with a private
// main context, so that the application's main loop is never involved: for
// threads that may block, such as a screenshot's.
class PortalRequest {
  public:
    // The answer's results (a{sv}), owned by the caller.
    using Results = std::unique_ptr<GVariant, decltype(&g_variant_unref)>;

    // Calls `method` of the portal `interface` with the parameters that
    // `parameters` builds around the request's handle token (to go into the
    // call's options as "handle_token"). A refusal, a cancelled dialog, no
    // answer by `deadline` or a `cancellable` cancelled all fail; `what` names
    // the step in their descriptions.
    static std::expected<Results, Error> call(
        GDBusConnection* bus, const char* interface, const char* method,
        const std::function<GVariant*(const std::string& handleToken)>& parameters,
        std::chrono::milliseconds deadline, GCancellable* cancellable, const std::string& what);
};

}  // namespace vx::platform::linux_
