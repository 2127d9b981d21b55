#include "platform/linux/wayland/PortalHotkeyService.h"

#include <array>
#include <string>
#include <utility>

#include "platform/NumberRowKeys.h"
#include "platform/linux/wayland/AsyncPortalRequest.h"

namespace vx::platform::linux_ {

namespace {

constexpr const char* kShortcuts = "org.freedesktop.portal.GlobalShortcuts";
// What the desktop shows beside the shortcut where the user reviews or changes
// it: this application's one shortcut is its recording switch.
constexpr const char* kDescription = "Start or stop recording";

// Command is the Super key (LOGO) and Option the Alt key, as on X11; the names
// and their order are those of the freedesktop shortcut format ("CTRL+ALT+a").
constexpr std::array<std::pair<uint32_t, const char*>, 4> kModifierNames{{
    {kControlKeyMask, "CTRL"},
    {kOptionKeyMask, "ALT"},
    {kShiftKeyMask, "SHIFT"},
    {kCommandKeyMask, "LOGO"},
}};

std::optional<std::string> trigger(uint32_t keyCode, uint32_t modifiers) {
    const std::optional<char> digit = platform::numberRowDigit(keyCode);
    if (!digit) {
        return std::nullopt;
    }
    std::string text;
    for (const auto& [ours, name] : kModifierNames) {
        if (modifiers & ours) {
            text += std::string(name) + "+";
            modifiers &= ~ours;
        }
    }
    return modifiers == 0 ? std::optional(text + *digit) : std::nullopt;
}

// The shortcut's name with the portal. The desktop keeps the user's choice of
// keys under it, so it is the same in every run: "VTLX-1".
std::string shortcutName(HotkeyID id) {
    std::string name;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = char((id.signature >> shift) & 0xFF);
        name += g_ascii_isalnum(c) ? c : '_';
    }
    return name + "-" + std::to_string(id.number);
}

GVariant* vardict(std::initializer_list<std::pair<const char*, std::string>> entries) {
    GVariantBuilder builder;
    g_variant_builder_init(&builder, G_VARIANT_TYPE_VARDICT);
    for (const auto& [key, value] : entries) {
        g_variant_builder_add(&builder, "{sv}", key, g_variant_new_string(value.c_str()));
    }
    return g_variant_builder_end(&builder);
}

// Whether the portal's list of bound shortcuts names `shortcut`.
bool lists(GVariant* results, const std::string& shortcut) {
    GVariant* bound = g_variant_lookup_value(results, "shortcuts", G_VARIANT_TYPE("a(sa{sv})"));
    if (bound == nullptr) {
        return false;
    }
    bool found = false;
    for (gsize i = 0; !found && i < g_variant_n_children(bound); ++i) {
        const gchar* name = nullptr;
        g_variant_get_child(bound, i, "(&s@a{sv})", &name, nullptr);
        found = shortcut == name;
    }
    g_variant_unref(bound);
    return found;
}

Error noGlobalShortcuts() {
    return Error{kHotkeyErrorDomain, kNoGlobalShortcutsOnThisDesktop,
                 "This desktop lets no application have a global shortcut."};
}

}  // namespace

// One registration: a portal session of its own holding its one shortcut, so
// that closing the session releases exactly that shortcut.
struct PortalHotkeyService::Binding {
    Binding(GDBusConnection* connection, Log& serviceLog, HotkeyID hotkey, std::string keys,
            HotkeyRefusal whenRefused)
        : bus(G_DBUS_CONNECTION(g_object_ref(connection))),
          log(serviceLog),
          id(hotkey),
          shortcut(shortcutName(hotkey)),
          trigger(std::move(keys)),
          refusedLater(std::move(whenRefused)) {}
    ~Binding() { g_object_unref(bus); }
    Binding(const Binding&) = delete;
    Binding& operator=(const Binding&) = delete;

    void createSession(const std::shared_ptr<Binding>& self);
    void bindShortcut(const std::shared_ptr<Binding>& self);
    // Unregistered, or the service is gone: nothing more is logged, and a
    // session that comes later is closed at once.
    void release();
    void refused(const std::string& why);

    GDBusConnection* const bus;
    Log& log;  // used only while not released: the service outlives no log
    const HotkeyID id;
    const std::string shortcut;
    const std::string trigger;
    const HotkeyRefusal refusedLater;  // called only while not released
    std::string session;               // the portal's session handle; empty until it answers
    bool released = false;
};

void PortalHotkeyService::Binding::createSession(const std::shared_ptr<Binding>& self) {
    const std::string sessionToken = AsyncPortalRequest::newToken();
    AsyncPortalRequest::start(
        bus, kShortcuts, "CreateSession",
        [&](const std::string& token) {
            return g_variant_new("(@a{sv})", vardict({{"handle_token", token},
                                                      {"session_handle_token", sessionToken}}));
        },
        [self](std::expected<GVariant*, AsyncPortalRequest::Failure> results) {
            // A portal without GlobalShortcuts, or no portal at all, says so at once.
            if (!results &&
                results.error().kind == AsyncPortalRequest::Failure::Kind::unreachable) {
                if (!self->released) {
                    self->refusedLater(noGlobalShortcuts());
                }
                return;
            }
            if (!results) {
                self->refused(results.error().reason);
                return;
            }
            const auto handle = AsyncPortalRequest::sessionHandle(*results);
            if (!handle) {
                self->refused("the desktop made no session");
                return;
            }
            self->session = *handle;
            if (self->released) {
                self->release();  // unregistered while the session was being made
            } else {
                self->bindShortcut(self);
            }
        });
}

void PortalHotkeyService::Binding::bindShortcut(const std::shared_ptr<Binding>& self) {
    AsyncPortalRequest::start(
        bus, kShortcuts, "BindShortcuts",
        [&](const std::string& token) {
            GVariant* wanted = g_variant_new(
                "(s@a{sv})", shortcut.c_str(),
                vardict({{"description", kDescription}, {"preferred_trigger", trigger}}));
            return g_variant_new("(o@a(sa{sv})s@a{sv})", session.c_str(),
                                 g_variant_new_array(nullptr, &wanted, 1), "",
                                 vardict({{"handle_token", token}}));
        },
        [self](std::expected<GVariant*, AsyncPortalRequest::Failure> results) {
            if (!results) {
                self->refused(results.error().reason);
            } else if (!lists(*results, self->shortcut)) {
                self->refused("the desktop left it unbound");
            }
        });
}

void PortalHotkeyService::Binding::release() {
    released = true;
    if (!session.empty()) {
        AsyncPortalRequest::closeSession(bus, session);
    }
}

void PortalHotkeyService::Binding::refused(const std::string& why) {
    if (!released) {
        log.line("Ventilux: The desktop did not grant the global shortcut " + trigger + ": " + why +
                 ".");
    }
}

PortalHotkeyService::PortalHotkeyService(Log& log) : log_(log) {}

PortalHotkeyService::~PortalHotkeyService() {
    for (const auto& [registration, binding] : bindings_) {
        binding->release();
    }
    if (activatedSubscription_ != 0) {
        g_dbus_connection_signal_unsubscribe(bus_, activatedSubscription_);
    }
    if (bus_ != nullptr) {
        g_object_unref(bus_);
    }
}

bool PortalHotkeyService::installPressHandler(HotkeyPressHandler handler) {
    handler_ = std::move(handler);
    return true;
}

std::expected<HotkeyRegistration, Error> PortalHotkeyService::registerHotkey(
    uint32_t keyCode, uint32_t modifiers, HotkeyID id, HotkeyRefusal refusedLater) {
    std::optional<std::string> wanted = trigger(keyCode, modifiers);
    if (!wanted) {
        return std::unexpected(
            Error{kAppErrorDomain, 0, "This key combination has no desktop shortcut equivalent."});
    }
    if (bus() == nullptr) {
        return std::unexpected(noGlobalShortcuts());
    }
    if (activatedSubscription_ == 0) {
        activatedSubscription_ = g_dbus_connection_signal_subscribe(
            bus_, kPortalName, kShortcuts, "Activated", kPortalPath, nullptr,
            G_DBUS_SIGNAL_FLAGS_NONE, &PortalHotkeyService::onActivated, this, nullptr);
    }
    const HotkeyRegistration registration = nextRegistration_++;
    auto binding = std::make_shared<Binding>(
        bus_, log_, id, std::move(*wanted),
        [this, registration, refusedLater = std::move(refusedLater)](Error why) {
            bindings_.erase(registration);
            refusedLater(std::move(why));
        });
    binding->createSession(binding);
    bindings_.emplace(registration, std::move(binding));
    return registration;
}

void PortalHotkeyService::unregisterHotkey(HotkeyRegistration registration) {
    auto found = bindings_.find(registration);
    if (found == bindings_.end()) {
        return;
    }
    found->second->release();
    bindings_.erase(found);
}

GDBusConnection* PortalHotkeyService::bus() {
    if (!busTried_) {
        busTried_ = true;
        bus_ = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    }
    return bus_;
}

void PortalHotkeyService::onActivated(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                                      const gchar*, GVariant* parameters, gpointer self) {
    if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(osta{sv})"))) {
        return;
    }
    const gchar* session = nullptr;
    const gchar* shortcut = nullptr;
    g_variant_get_child(parameters, 0, "&o", &session);
    g_variant_get_child(parameters, 1, "&s", &shortcut);
    static_cast<PortalHotkeyService*>(self)->activated(session, shortcut);
}

void PortalHotkeyService::activated(std::string_view session, std::string_view shortcut) {
    if (!handler_) {
        return;
    }
    for (const auto& [registration, binding] : bindings_) {
        if (binding->session == session && binding->shortcut == shortcut) {
            // A copy: the handler may replace itself or the registrations while it runs.
            HotkeyPressHandler handler = *handler_;
            handler(binding->id);
            return;
        }
    }
}

}  // namespace vx::platform::linux_
