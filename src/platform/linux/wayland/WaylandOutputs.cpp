#include "platform/linux/wayland/WaylandOutputs.h"

#include <glib-unix.h>
#include <wayland-client.h>
#include <xdg-output-client.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <utility>

#include "platform/linux/wayland/ScreenCastErrors.h"

namespace vx::platform::linux_ {

namespace {

// Names came to wl_output with version 4; before that only xdg-output gives
// them (version 2 on), and without either outputs are told apart by make and model.
constexpr uint32_t kNamedOutputVersion = 4;
constexpr uint32_t kNamedXdgOutputVersion = 2;

Error outputsError(const char* description) {
    return screenCastError(ScreenCastErrorCode::displayGone, description);
}

}  // namespace

// The compositor's side: its objects and what it has told about each output so
// far. Every callback runs on the thread that reads the connection.
struct WaylandOutputs::Connection {
    struct Announced {
        Connection* owner = nullptr;
        wl_output* proxy = nullptr;
        zxdg_output_v1* details = nullptr;
        WaylandOutput output;
        std::string makeAndModel;
        // Each part ends with its own "done"; before both have, the output is half told.
        bool outputDone = false;
        bool detailsDone = true;

        ~Announced() {
            if (details != nullptr) {
                zxdg_output_v1_destroy(details);
            }
            if (wl_output_get_version(proxy) >= WL_OUTPUT_RELEASE_SINCE_VERSION) {
                wl_output_release(proxy);
            } else {
                wl_output_destroy(proxy);
            }
        }
    };

    wl_display* display = nullptr;
    wl_registry* registry = nullptr;
    zxdg_output_manager_v1* manager = nullptr;
    // By the global's name, which the compositor hands out in increasing order.
    std::map<uint32_t, std::unique_ptr<Announced>> outputs;
    bool changed = false;  // since the list was last published

    // Whether every output has been told in full, so that the list may be published.
    bool settled() const {
        return std::all_of(outputs.begin(), outputs.end(), [](const auto& entry) {
            return entry.second->outputDone && entry.second->detailsDone;
        });
    }

    ~Connection() {
        outputs.clear();
        if (manager != nullptr) {
            zxdg_output_manager_v1_destroy(manager);
        }
        if (registry != nullptr) {
            wl_registry_destroy(registry);
        }
        if (display != nullptr) {
            wl_display_disconnect(display);
        }
    }

    std::vector<WaylandOutput> list() const {
        std::vector<WaylandOutput> listed;
        for (const auto& [name, announced] : outputs) {
            WaylandOutput output = announced->output;
            if (output.name.empty()) {
                output.name = announced->makeAndModel;
            }
            output.id = idFor(output.name);
            if (output.width > 0 && output.height > 0) {
                listed.push_back(std::move(output));
            }
        }
        return listed;
    }

    // Whatever came in is read and handled; false once the compositor is gone.
    bool readAndDispatch() {
        if (wl_display_prepare_read(display) != 0) {
            // Events read earlier wait in the queue: those first, the socket next time.
            return wl_display_dispatch_pending(display) >= 0;
        }
        if (wl_display_read_events(display) < 0 || wl_display_dispatch_pending(display) < 0) {
            return false;
        }
        // Requests the handlers made, such as binding an output just announced.
        wl_display_flush(display);
        return true;
    }

    // Asks for an output's details once the compositor offers them.
    void describe(Announced& announced) {
        if (manager == nullptr || announced.details != nullptr) {
            return;
        }
        announced.details = zxdg_output_manager_v1_get_xdg_output(manager, announced.proxy);
        announced.detailsDone = false;
        zxdg_output_v1_add_listener(announced.details, &kDetailsListener, &announced);
    }

    static void onGeometry(void* data, wl_output*, int32_t x, int32_t y, int32_t, int32_t, int32_t,
                           const char* make, const char* model, int32_t) {
        auto* announced = static_cast<Announced*>(data);
        announced->output.x = x;
        announced->output.y = y;
        announced->makeAndModel = std::string(make ? make : "") + " " + (model ? model : "");
        announced->owner->changed = true;
    }
    static void onMode(void* data, wl_output*, uint32_t flags, int32_t width, int32_t height,
                       int32_t) {
        if ((flags & WL_OUTPUT_MODE_CURRENT) != 0) {
            auto* announced = static_cast<Announced*>(data);
            announced->output.width = width;
            announced->output.height = height;
            announced->owner->changed = true;
        }
    }
    static void onDone(void* data, wl_output*) {
        auto* announced = static_cast<Announced*>(data);
        announced->outputDone = true;
        announced->owner->changed = true;
    }
    static void onScale(void*, wl_output*, int32_t) {}
    static void onName(void* data, wl_output*, const char* name) {
        auto* announced = static_cast<Announced*>(data);
        announced->output.name = name ? name : "";
        announced->owner->changed = true;
    }
    static void onDescription(void*, wl_output*, const char*) {}

    // The portal places monitors in the desktop's logical coordinates, as xdg-output does.
    static void onLogicalPosition(void* data, zxdg_output_v1*, int32_t x, int32_t y) {
        auto* announced = static_cast<Announced*>(data);
        announced->output.x = x;
        announced->output.y = y;
        announced->owner->changed = true;
    }
    static void onLogicalSize(void*, zxdg_output_v1*, int32_t, int32_t) {}
    static void onDetailsDone(void* data, zxdg_output_v1*) {
        auto* announced = static_cast<Announced*>(data);
        announced->detailsDone = true;
        announced->owner->changed = true;
    }
    static void onDetailsName(void* data, zxdg_output_v1*, const char* name) {
        auto* announced = static_cast<Announced*>(data);
        if (announced->output.name.empty() && name != nullptr) {
            announced->output.name = name;
            announced->owner->changed = true;
        }
    }
    static void onDetailsDescription(void*, zxdg_output_v1*, const char*) {}

    static void onGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface,
                         uint32_t version) {
        auto& self = *static_cast<Connection*>(data);
        if (std::strcmp(interface, zxdg_output_manager_v1_interface.name) == 0) {
            self.manager = static_cast<zxdg_output_manager_v1*>(
                wl_registry_bind(registry, name, &zxdg_output_manager_v1_interface,
                                 std::min(version, kNamedXdgOutputVersion)));
            for (auto& [global, announced] : self.outputs) {
                self.describe(*announced);
            }
            return;
        }
        if (std::strcmp(interface, wl_output_interface.name) != 0) {
            return;
        }
        auto announced = std::make_unique<Announced>();
        announced->owner = &self;
        announced->proxy = static_cast<wl_output*>(wl_registry_bind(
            registry, name, &wl_output_interface, std::min(version, kNamedOutputVersion)));
        // The first wl_output had no "done": each event then tells all there is.
        announced->outputDone = version < WL_OUTPUT_DONE_SINCE_VERSION;
        wl_output_add_listener(announced->proxy, &kOutputListener, announced.get());
        self.describe(*announced);
        self.outputs[name] = std::move(announced);
    }
    static void onGlobalRemove(void* data, wl_registry*, uint32_t name) {
        auto& self = *static_cast<Connection*>(data);
        self.changed = self.outputs.erase(name) > 0 || self.changed;
    }

    static const wl_output_listener kOutputListener;
    static const zxdg_output_v1_listener kDetailsListener;
    static const wl_registry_listener kRegistryListener;
};

const wl_output_listener WaylandOutputs::Connection::kOutputListener = {
    onGeometry, onMode, onDone, onScale, onName, onDescription};
const zxdg_output_v1_listener WaylandOutputs::Connection::kDetailsListener = {
    onLogicalPosition, onLogicalSize, onDetailsDone, onDetailsName, onDetailsDescription};
const wl_registry_listener WaylandOutputs::Connection::kRegistryListener = {onGlobal,
                                                                            onGlobalRemove};

WaylandOutputs::WaylandOutputs() : connection_(std::make_unique<Connection>()) {
    Connection& c = *connection_;
    c.display = wl_display_connect(nullptr);
    if (c.display == nullptr) {
        current_ = std::unexpected(outputsError("The Wayland compositor cannot be reached."));
        return;
    }
    c.registry = wl_display_get_registry(c.display);
    wl_registry_add_listener(c.registry, &Connection::kRegistryListener, &c);
    // The first round trip announces the outputs, the second their details.
    if (wl_display_roundtrip(c.display) < 0 || wl_display_roundtrip(c.display) < 0) {
        current_ = std::unexpected(outputsError("The Wayland compositor stopped answering."));
        return;
    }
    current_ = c.list();
    c.changed = false;
    watch_ = g_unix_fd_add(wl_display_get_fd(c.display),
                           static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR),
                           &WaylandOutputs::onReadable, this);
}

WaylandOutputs::~WaylandOutputs() {
    if (watch_ != 0) {
        g_source_remove(watch_);
    }
}

WaylandOutputs::List WaylandOutputs::current() const {
    std::lock_guard lock(mutex_);
    return current_;
}

uint32_t WaylandOutputs::idFor(const std::string& name) {
    // FNV-1a: the same name gives the same number in every run.
    uint32_t hash = 2166136261u;
    for (unsigned char c : name) {
        hash = (hash ^ c) * 16777619u;
    }
    return hash == 0 ? 1 : hash;
}

gboolean WaylandOutputs::onReadable(gint, GIOCondition, gpointer data) {
    auto& self = *static_cast<WaylandOutputs*>(data);
    Connection& c = *self.connection_;
    if (!c.readAndDispatch()) {
        self.watch_ = 0;
        self.publish(
            std::unexpected(outputsError("The connection to the Wayland compositor was lost.")));
        return G_SOURCE_REMOVE;
    }
    if (c.changed && c.settled()) {
        c.changed = false;
        self.publish(c.list());
    }
    return G_SOURCE_CONTINUE;
}

void WaylandOutputs::publish(List list) {
    std::lock_guard lock(mutex_);
    current_ = std::move(list);
}

}  // namespace vx::platform::linux_
