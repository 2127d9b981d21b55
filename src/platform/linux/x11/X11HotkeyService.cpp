#include "platform/linux/x11/X11HotkeyService.h"

#include <xcb/xcb_keysyms.h>

#include <array>
#include <cstdlib>
#include <memory>
#include <utility>

#include "platform/NumberRowKeys.h"

namespace vx::platform::linux_ {

namespace {

// Command is the Super key, Option the Alt key, on every common X keymap.
constexpr std::array<std::pair<uint32_t, uint16_t>, 4> kModifierMasks{{
    {kCommandKeyMask, XCB_MOD_MASK_4},
    {kShiftKeyMask, XCB_MOD_MASK_SHIFT},
    {kOptionKeyMask, XCB_MOD_MASK_1},
    {kControlKeyMask, XCB_MOD_MASK_CONTROL},
}};

// Caps Lock and Num Lock change the state a press reports, so each grab is
// made once for every combination of them.
constexpr uint16_t kNumLockMask = XCB_MOD_MASK_2;
constexpr std::array<uint16_t, 4> kLockVariants{0, XCB_MOD_MASK_LOCK, kNumLockMask,
                                                XCB_MOD_MASK_LOCK | kNumLockMask};
constexpr uint16_t kModifierBits = 0xFF;  // the rest of a state are mouse buttons

constexpr uint8_t kBadAccess = 10;

Error unsupported(std::string description) {
    return x11Error(X11ErrorCode::badRequest, std::move(description));
}

std::optional<uint16_t> xModifiers(uint32_t modifiers) {
    uint16_t mask = 0;
    for (const auto& [ours, theirs] : kModifierMasks) {
        if (modifiers & ours) {
            mask |= theirs;
            modifiers &= ~ours;
        }
    }
    return modifiers == 0 ? std::optional(mask) : std::nullopt;
}

std::optional<xcb_keysym_t> keysym(uint32_t keyCode) {
    const std::optional<char> digit = platform::numberRowDigit(keyCode);
    return digit ? std::optional<xcb_keysym_t>(xcb_keysym_t(*digit)) : std::nullopt;
}

}  // namespace

bool X11HotkeyService::installPressHandler(HotkeyPressHandler handler) {
    handler_ = std::move(handler);
    return true;
}

std::expected<HotkeyRegistration, Error> X11HotkeyService::registerHotkey(uint32_t keyCode,
                                                                          uint32_t modifiers,
                                                                          HotkeyID id,
                                                                          HotkeyRefusal) {
    const std::optional<xcb_keysym_t> symbol = keysym(keyCode);
    const std::optional<uint16_t> mask = xModifiers(modifiers);
    if (!symbol || !mask) {
        return std::unexpected(unsupported("This key combination has no X11 equivalent."));
    }
    if (auto connected = connect(); !connected) {
        return std::unexpected(connected.error());
    }
    std::unique_ptr<xcb_key_symbols_t, decltype(&xcb_key_symbols_free)> symbols(
        xcb_key_symbols_alloc(connection_->get()), &xcb_key_symbols_free);
    XcbReply<xcb_keycode_t> keycodes(xcb_key_symbols_get_keycode(symbols.get(), *symbol));
    if (!keycodes || keycodes.get()[0] == XCB_NO_SYMBOL) {
        return std::unexpected(unsupported("The keyboard map has no key for this combination."));
    }
    Grab wanted{keycodes.get()[0], *mask, id};
    if (auto grabbed = grab(wanted); !grabbed) {
        return std::unexpected(grabbed.error());
    }
    HotkeyRegistration registration = nextRegistration_++;
    grabs_.emplace(registration, wanted);
    return registration;
}

void X11HotkeyService::unregisterHotkey(HotkeyRegistration registration) {
    auto found = grabs_.find(registration);
    if (found == grabs_.end()) {
        return;
    }
    ungrab(found->second);
    grabs_.erase(found);
}

std::expected<void, Error> X11HotkeyService::connect() {
    if (connection_ && !connection_->broken()) {
        return {};
    }
    auto opened = XcbConnection::open("");
    if (!opened) {
        return std::unexpected(opened.error());
    }
    // Whatever a lost connection held went with it.
    grabs_.clear();
    events_.reset();
    connection_.emplace(std::move(*opened));
    events_.emplace(*connection_,
                    XcbEventSource::Handlers{
                        .onEvent = [this](const xcb_generic_event_t& event) { handle(event); },
                        .afterRead = nullptr,
                        // The grabs ended with the connection; the next registration reconnects.
                        .onBroken = [this] { grabs_.clear(); },
                    });
    return {};
}

// All variants or none: a combination that is only partly ours would fire
// with the lock keys in one state and not in another.
std::expected<void, Error> X11HotkeyService::grab(const Grab& wanted) {
    xcb_connection_t* c = connection_->get();
    std::array<xcb_void_cookie_t, kLockVariants.size()> cookies{};
    for (size_t i = 0; i < kLockVariants.size(); ++i) {
        cookies[i] =
            xcb_grab_key_checked(c, 0, connection_->root(), wanted.modifiers | kLockVariants[i],
                                 wanted.keycode, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    }
    std::optional<Error> refused;
    for (xcb_void_cookie_t cookie : cookies) {
        XcbReply<xcb_generic_error_t> error(xcb_request_check(c, cookie));
        if ((error || connection_->broken()) && !refused) {
            refused = !error ? connection_->lostError()
                      : error->error_code == kBadAccess
                          ? x11Error(X11ErrorCode::serverRefused,
                                     "Another application holds this key combination.")
                          : connection_->refusedError("grab the key", error.get());
        }
    }
    if (refused) {
        // Releases only what this client holds; another's grabs stay.
        ungrab(wanted);
        return std::unexpected(*refused);
    }
    return {};
}

void X11HotkeyService::ungrab(const Grab& held) {
    for (uint16_t variant : kLockVariants) {
        xcb_ungrab_key(connection_->get(), held.keycode, connection_->root(),
                       held.modifiers | variant);
    }
    // A round trip, so that the combination is free for others once this returns.
    std::free(xcb_get_input_focus_reply(connection_->get(), xcb_get_input_focus(connection_->get()),
                                        nullptr));
}

void X11HotkeyService::handle(const xcb_generic_event_t& event) {
    const uint8_t type = event.response_type & 0x7F;
    if (type == XCB_KEY_RELEASE) {
        const auto& release = reinterpret_cast<const xcb_key_release_event_t&>(event);
        lastRelease_ = {release.detail, release.time};
        return;
    }
    if (type != XCB_KEY_PRESS || !handler_) {
        return;
    }
    const auto& press = reinterpret_cast<const xcb_key_press_event_t&>(event);
    if (lastRelease_ == std::pair(press.detail, press.time)) {
        return;
    }
    const uint16_t modifiers = press.state & kModifierBits & ~(XCB_MOD_MASK_LOCK | kNumLockMask);
    for (const auto& [registration, held] : grabs_) {
        if (held.keycode == press.detail && held.modifiers == modifiers) {
            // A copy: the handler may replace itself or the grabs while it runs.
            HotkeyPressHandler handler = *handler_;
            handler(held.id);
            return;
        }
    }
}

}  // namespace vx::platform::linux_
