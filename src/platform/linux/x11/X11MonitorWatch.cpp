#include "platform/linux/x11/X11MonitorWatch.h"

#include <xcb/randr.h>

#include <utility>

namespace vx::platform::linux_ {

X11MonitorWatch::X11MonitorWatch(const std::string& displayName) {
    auto opened = XcbConnection::open(displayName);
    if (!opened) {
        current_ = std::unexpected(opened.error());
        return;
    }
    connection_.emplace(std::move(*opened));
    xcb_connection_t* c = connection_->get();
    // Changes are asked to be told before the first list, so that none falls between.
    const uint32_t rootEvents = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, connection_->root(), XCB_CW_EVENT_MASK, &rootEvents);
    const xcb_query_extension_reply_t* randr = xcb_get_extension_data(c, &xcb_randr_id);
    if (randr != nullptr && randr->present != 0) {
        randrEvents_ = randr->first_event;
        xcb_randr_select_input(c, connection_->root(),
                               XCB_RANDR_NOTIFY_MASK_SCREEN_CHANGE |
                                   XCB_RANDR_NOTIFY_MASK_CRTC_CHANGE |
                                   XCB_RANDR_NOTIFY_MASK_OUTPUT_CHANGE);
    }
    monitors_.emplace(*connection_);
    current_ = monitors_->list();
    events_.emplace(*connection_,
                    XcbEventSource::Handlers{
                        .onEvent =
                            [this](const xcb_generic_event_t& event) {
                                if (isChange(event)) {
                                    askAgain();
                                }
                            },
                        .afterRead = [this] { collect(); },
                        .onBroken = [this] { publish(std::unexpected(connection_->lostError())); },
                    });
}

X11Monitors::List X11MonitorWatch::current() const {
    std::lock_guard lock(mutex_);
    return current_;
}

bool X11MonitorWatch::isChange(const xcb_generic_event_t& event) const {
    const uint8_t type = event.response_type & 0x7F;
    return type == XCB_CONFIGURE_NOTIFY ||
           (randrEvents_ != 0 && (type == randrEvents_ + XCB_RANDR_SCREEN_CHANGE_NOTIFY ||
                                  type == randrEvents_ + XCB_RANDR_NOTIFY));
}

// One listing at a time: changes that come while one is out are all answered
// by the next.
void X11MonitorWatch::askAgain() {
    if (asked_) {
        changedSinceAsked_ = true;
        return;
    }
    asked_ = monitors_->ask();
    xcb_flush(connection_->get());
}

void X11MonitorWatch::collect() {
    if (!asked_) {
        return;
    }
    std::optional<X11Monitors::List> answer = monitors_->answerIfIn(*asked_);
    if (!answer) {
        return;
    }
    asked_.reset();
    publish(std::move(*answer));
    if (std::exchange(changedSinceAsked_, false)) {
        askAgain();
    }
}

void X11MonitorWatch::publish(X11Monitors::List list) {
    std::lock_guard lock(mutex_);
    current_ = std::move(list);
}

}  // namespace vx::platform::linux_
