#include "platform/linux/wayland/WaylandOutputs.h"

#include <wayland-client.h>
#include <xdg-output-client.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "platform/linux/wayland/ScreenCastErrors.h"

namespace vx::platform::linux_ {

namespace {

// Names came to wl_output with version 4; before that only xdg-output gives
// them (version 2 on), and without either outputs are told apart by make and model.
constexpr uint32_t kNamedOutputVersion = 4;
constexpr uint32_t kNamedXdgOutputVersion = 2;

struct Announced {
    wl_output* proxy = nullptr;
    zxdg_output_v1* details = nullptr;
    WaylandOutput output;
    std::string makeAndModel;
};

struct Listing {
    wl_registry* registry = nullptr;
    zxdg_output_manager_v1* manager = nullptr;
    std::vector<std::unique_ptr<Announced>> outputs;
};

void onGeometry(void* data, wl_output*, int32_t x, int32_t y, int32_t, int32_t, int32_t,
                const char* make, const char* model, int32_t) {
    auto* announced = static_cast<Announced*>(data);
    announced->output.x = x;
    announced->output.y = y;
    announced->makeAndModel = std::string(make ? make : "") + " " + (model ? model : "");
}

void onMode(void* data, wl_output*, uint32_t flags, int32_t width, int32_t height, int32_t) {
    if ((flags & WL_OUTPUT_MODE_CURRENT) != 0) {
        auto* announced = static_cast<Announced*>(data);
        announced->output.width = width;
        announced->output.height = height;
    }
}

void onDone(void*, wl_output*) {}
void onScale(void*, wl_output*, int32_t) {}

void onName(void* data, wl_output*, const char* name) {
    static_cast<Announced*>(data)->output.name = name ? name : "";
}

void onDescription(void*, wl_output*, const char*) {}

const wl_output_listener kOutputListener = {onGeometry, onMode, onDone,
                                            onScale,    onName, onDescription};

// The portal places monitors in the desktop's logical coordinates, as xdg-output does.
void onLogicalPosition(void* data, zxdg_output_v1*, int32_t x, int32_t y) {
    auto* announced = static_cast<Announced*>(data);
    announced->output.x = x;
    announced->output.y = y;
}

void onLogicalSize(void*, zxdg_output_v1*, int32_t, int32_t) {}
void onDetailsDone(void*, zxdg_output_v1*) {}

void onDetailsName(void* data, zxdg_output_v1*, const char* name) {
    auto* announced = static_cast<Announced*>(data);
    if (announced->output.name.empty() && name != nullptr) {
        announced->output.name = name;
    }
}

void onDetailsDescription(void*, zxdg_output_v1*, const char*) {}

const zxdg_output_v1_listener kDetailsListener = {onLogicalPosition, onLogicalSize, onDetailsDone,
                                                  onDetailsName, onDetailsDescription};

void onGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface,
              uint32_t version) {
    auto* listing = static_cast<Listing*>(data);
    if (std::strcmp(interface, zxdg_output_manager_v1_interface.name) == 0) {
        listing->manager = static_cast<zxdg_output_manager_v1*>(
            wl_registry_bind(registry, name, &zxdg_output_manager_v1_interface,
                             std::min(version, kNamedXdgOutputVersion)));
        return;
    }
    if (std::strcmp(interface, wl_output_interface.name) != 0) {
        return;
    }
    auto announced = std::make_unique<Announced>();
    announced->proxy = static_cast<wl_output*>(wl_registry_bind(
        registry, name, &wl_output_interface, std::min(version, kNamedOutputVersion)));
    wl_output_add_listener(announced->proxy, &kOutputListener, announced.get());
    listing->outputs.push_back(std::move(announced));
}

void onGlobalRemove(void*, wl_registry*, uint32_t) {}

const wl_registry_listener kRegistryListener = {onGlobal, onGlobalRemove};

}  // namespace

uint32_t WaylandOutputs::idFor(const std::string& name) {
    // FNV-1a: the same name gives the same number in every run.
    uint32_t hash = 2166136261u;
    for (unsigned char c : name) {
        hash = (hash ^ c) * 16777619u;
    }
    return hash == 0 ? 1 : hash;
}

std::expected<std::vector<WaylandOutput>, Error> WaylandOutputs::list() {
    wl_display* display = wl_display_connect(nullptr);
    if (display == nullptr) {
        return std::unexpected(screenCastError(ScreenCastErrorCode::displayGone,
                                               "The Wayland compositor cannot be reached."));
    }
    Listing listing;
    listing.registry = wl_display_get_registry(display);
    wl_registry_add_listener(listing.registry, &kRegistryListener, &listing);
    // The first round trip announces the outputs, the second their details.
    bool answered = wl_display_roundtrip(display) >= 0;
    if (answered && listing.manager != nullptr) {
        for (auto& announced : listing.outputs) {
            announced->details =
                zxdg_output_manager_v1_get_xdg_output(listing.manager, announced->proxy);
            zxdg_output_v1_add_listener(announced->details, &kDetailsListener, announced.get());
        }
    }
    answered = answered && wl_display_roundtrip(display) >= 0;
    std::vector<WaylandOutput> outputs;
    for (auto& announced : listing.outputs) {
        WaylandOutput output = announced->output;
        if (output.name.empty()) {
            output.name = announced->makeAndModel;
        }
        output.id = idFor(output.name);
        if (output.width > 0 && output.height > 0) {
            outputs.push_back(std::move(output));
        }
        if (announced->details != nullptr) {
            zxdg_output_v1_destroy(announced->details);
        }
        wl_output_destroy(announced->proxy);
    }
    if (listing.manager != nullptr) {
        zxdg_output_manager_v1_destroy(listing.manager);
    }
    wl_registry_destroy(listing.registry);
    wl_display_disconnect(display);
    if (!answered) {
        return std::unexpected(screenCastError(ScreenCastErrorCode::displayGone,
                                               "The Wayland compositor stopped answering."));
    }
    return outputs;
}

}  // namespace vx::platform::linux_
