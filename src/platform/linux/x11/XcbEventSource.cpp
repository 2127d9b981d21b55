#include "platform/linux/x11/XcbEventSource.h"

#include <utility>

namespace vx::platform::linux_ {

struct XcbEventSource::Source {
    GSource base;  // first, so that GLib's pointer is ours
    XcbEventSource* owner;
    gpointer fdTag;

    static gboolean prepare(GSource* source, gint* timeout) {
        *timeout = -1;
        return reinterpret_cast<Source*>(source)->owner->hasQueuedEvent();
    }
    static gboolean check(GSource* source) {
        auto* self = reinterpret_cast<Source*>(source);
        return g_source_query_unix_fd(source, self->fdTag) != 0 || self->owner->hasQueuedEvent();
    }
    static gboolean dispatch(GSource* source, GSourceFunc, gpointer) {
        return reinterpret_cast<Source*>(source)->owner->dispatch() ? G_SOURCE_CONTINUE
                                                                    : G_SOURCE_REMOVE;
    }
};

XcbEventSource::XcbEventSource(const XcbConnection& connection, Handlers handlers)
    : connection_(connection), handlers_(std::move(handlers)) {
    static GSourceFuncs functions{&Source::prepare, &Source::check, &Source::dispatch,
                                  nullptr,          nullptr,        nullptr};
    source_ = g_source_new(&functions, sizeof(Source));
    auto* events = reinterpret_cast<Source*>(source_);
    events->owner = this;
    events->fdTag = g_source_add_unix_fd(source_, xcb_get_file_descriptor(connection.get()),
                                         static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR));
    g_source_attach(source_, nullptr);
}

XcbEventSource::~XcbEventSource() {
    g_source_destroy(source_);
    g_source_unref(source_);
}

bool XcbEventSource::hasQueuedEvent() {
    if (!queued_) {
        queued_.reset(xcb_poll_for_queued_event(connection_.get()));
    }
    return queued_ != nullptr;
}

bool XcbEventSource::dispatch() {
    XcbReply<xcb_generic_event_t> event = std::move(queued_);
    if (!event) {
        event.reset(xcb_poll_for_event(connection_.get()));
    }
    for (; event; event.reset(xcb_poll_for_event(connection_.get()))) {
        handlers_.onEvent(*event);
    }
    if (handlers_.afterRead) {
        handlers_.afterRead();
    }
    if (!connection_.broken()) {
        return true;
    }
    if (handlers_.onBroken) {
        handlers_.onBroken();
    }
    return false;
}

}  // namespace vx::platform::linux_
