#include "platform/linux/wayland/PortalRequest.h"

#include <optional>

#include "platform/linux/wayland/AsyncPortalRequest.h"
#include "platform/linux/wayland/ScreenCastErrors.h"

namespace vx::platform::linux_ {

namespace {

using Failure = AsyncPortalRequest::Failure;

struct Wait {
    std::optional<std::expected<PortalRequest::Results, Failure>> answer;
    bool gaveUp = false;
};

gboolean onGiveUp(gpointer data) {
    static_cast<Wait*>(data)->gaveUp = true;
    return G_SOURCE_REMOVE;
}

gboolean onCancelled(GCancellable*, gpointer data) {
    return onGiveUp(data);
}

// Runs `context` until the answer comes, the deadline passes or `cancellable` fires.
void waitFor(GMainContext* context, Wait& wait, std::chrono::milliseconds deadline,
             GCancellable* cancellable) {
    GSource* timeout = g_timeout_source_new(static_cast<guint>(deadline.count()));
    g_source_set_callback(timeout, onGiveUp, &wait, nullptr);
    g_source_attach(timeout, context);
    GSource* cancelled = nullptr;
    if (cancellable != nullptr) {
        cancelled = g_cancellable_source_new(cancellable);
        g_source_set_callback(cancelled, G_SOURCE_FUNC(onCancelled), &wait, nullptr);
        g_source_attach(cancelled, context);
    }
    while (!wait.answer && !wait.gaveUp) {
        g_main_context_iteration(context, TRUE);
    }
    g_source_destroy(timeout);
    g_source_unref(timeout);
    if (cancelled != nullptr) {
        g_source_destroy(cancelled);
        g_source_unref(cancelled);
    }
}

Error describe(const Failure& failure, const std::string& what) {
    switch (failure.kind) {
        case Failure::Kind::unreachable:
            return screenCastError(ScreenCastErrorCode::portalMissing,
                                   "This desktop offers no screen sharing to applications.");
        case Failure::Kind::declined:
            return screenCastError(ScreenCastErrorCode::refused, "Screen sharing was not allowed.");
        case Failure::Kind::busError:
        case Failure::Kind::refused:
            break;
    }
    return screenCastError(ScreenCastErrorCode::refused, "The desktop's screen sharing failed to " +
                                                             what + ": " + failure.reason + ".");
}

}  // namespace

std::expected<PortalRequest::Results, Error> PortalRequest::call(
    GDBusConnection* bus, const char* interface, const char* method,
    const std::function<GVariant*(const std::string& handleToken)>& parameters,
    std::chrono::milliseconds deadline, GCancellable* cancellable, const std::string& what) {
    GMainContext* context = g_main_context_new();
    g_main_context_push_thread_default(context);
    Wait wait;
    const AsyncPortalRequest::Abandon abandon = AsyncPortalRequest::start(
        bus, interface, method, parameters, [&wait](std::expected<GVariant*, Failure> results) {
            if (results) {
                wait.answer = Results(g_variant_ref(*results), g_variant_unref);
            } else {
                wait.answer = std::unexpected(results.error());
            }
        });
    waitFor(context, wait, deadline, cancellable);
    if (!wait.answer) {
        abandon();
    }
    // GDBus lets go of the request's signal subscription in an idle job on this
    // context: run it, or what the subscription holds is never freed.
    while (g_main_context_pending(context)) {
        g_main_context_iteration(context, FALSE);
    }
    g_main_context_pop_thread_default(context);
    g_main_context_unref(context);

    if (!wait.answer) {
        return std::unexpected(screenCastError(
            ScreenCastErrorCode::noAnswer, "The desktop did not answer in time to " + what + "."));
    }
    if (!*wait.answer) {
        return std::unexpected(describe(wait.answer->error(), what));
    }
    return std::move(**wait.answer);
}

}  // namespace vx::platform::linux_
