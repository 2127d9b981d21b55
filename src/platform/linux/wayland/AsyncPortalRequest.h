#pragma once

#include <gio/gio.h>

#include <expected>
#include <functional>
#include <optional>
#include <string>

namespace vx::platform::linux_ {

inline constexpr const char* kPortalName = "org.freedesktop.portal.Desktop";
inline constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";

// One call to the desktop portal answered, perhaps much later (after a dialog),
// by its request object's Response signal, without waiting for it: the answer
// comes on the main context of the thread that started the call.
class AsyncPortalRequest {
  public:
    // Why a request has no results.
    struct Failure {
        enum class Kind {
            unreachable,  // no portal, or it does not offer the interface or method
            busError,
            declined,  // by the user, in the desktop's dialog
            refused,   // by the desktop
        };
        Kind kind;
        std::string reason;  // a clause: "the user declined"
    };
    // The results (a{sv}, borrowed for the call) of an accepted request, or why
    // there are none.
    using Answer = std::function<void(std::expected<GVariant*, Failure> results)>;
    // Stops listening for the answer: `answered` is not called after this.
    using Abandon = std::function<void()>;

    // Calls `method` of the portal's `interface` with what `parameters` builds
    // around the request's handle token (for the "handle_token" option);
    // `answered` is called at most once, never from within this call, and
    // exactly once unless the request is abandoned.
    static Abandon start(GDBusConnection* bus, const char* interface, const char* method,
                         const std::function<GVariant*(const std::string& handleToken)>& parameters,
                         Answer answered);

    // The session a CreateSession request made, from its results; none when
    // the desktop named no object. Documented as a string, though it names an
    // object: either type will do.
    static std::optional<std::string> sessionHandle(GVariant* results);

    // A uint32 property of the portal's `interface` (its "version", say); 0 when
    // the portal, the interface or the property is missing, or no answer comes
    // within the bus's own limit. Blocks the calling thread: for threads that may.
    static uint32_t uint32Property(GDBusConnection* bus, const char* interface, const char* name);

    // Ends a portal session without waiting: the portal also ends it when our
    // connection goes.
    static void closeSession(GDBusConnection* bus, const std::string& handle);

    // A token unique in this process, for requests and sessions alike; any thread.
    static std::string newToken();
};

}  // namespace vx::platform::linux_
