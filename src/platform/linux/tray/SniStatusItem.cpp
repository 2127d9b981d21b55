#include "platform/linux/tray/SniStatusItem.h"

#include <string>
#include <utility>
#include <vector>

#include "platform/linux/tray/StatusIconPainter.h"

namespace vx::platform::linux_ {

namespace {

constexpr const char* kIntrospection = R"xml(
<node>
  <interface name="org.kde.StatusNotifierItem">
    <property name="Category" type="s" access="read"/>
    <property name="Id" type="s" access="read"/>
    <property name="Title" type="s" access="read"/>
    <property name="Status" type="s" access="read"/>
    <property name="WindowId" type="i" access="read"/>
    <property name="IconThemePath" type="s" access="read"/>
    <property name="Menu" type="o" access="read"/>
    <property name="ItemIsMenu" type="b" access="read"/>
    <property name="IconName" type="s" access="read"/>
    <property name="IconPixmap" type="a(iiay)" access="read"/>
    <property name="OverlayIconName" type="s" access="read"/>
    <property name="OverlayIconPixmap" type="a(iiay)" access="read"/>
    <property name="AttentionIconName" type="s" access="read"/>
    <property name="AttentionIconPixmap" type="a(iiay)" access="read"/>
    <property name="AttentionMovieName" type="s" access="read"/>
    <property name="ToolTip" type="(sa(iiay)ss)" access="read"/>
    <method name="ContextMenu">
      <arg name="x" type="i" direction="in"/>
      <arg name="y" type="i" direction="in"/>
    </method>
    <method name="Activate">
      <arg name="x" type="i" direction="in"/>
      <arg name="y" type="i" direction="in"/>
    </method>
    <method name="SecondaryActivate">
      <arg name="x" type="i" direction="in"/>
      <arg name="y" type="i" direction="in"/>
    </method>
    <method name="Scroll">
      <arg name="delta" type="i" direction="in"/>
      <arg name="orientation" type="s" direction="in"/>
    </method>
    <signal name="NewTitle"/>
    <signal name="NewIcon"/>
    <signal name="NewAttentionIcon"/>
    <signal name="NewOverlayIcon"/>
    <signal name="NewToolTip"/>
    <signal name="NewStatus">
      <arg name="status" type="s"/>
    </signal>
  </interface>
</node>)xml";

constexpr const char* kName = "Ventilux";
// Panels ask for about 16 to 24 pixels, and twice that on dense screens.
constexpr int kScales[] = {1, 2};

std::string trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(' ');
    return first == std::string::npos ? ""
                                      : text.substr(first, text.find_last_not_of(' ') + 1 - first);
}

// StatusNotifierItem pixmaps are ARGB32 in network byte order.
GVariant* pixmap(const StatusButtonLook& look, int scale) {
    const StatusIconPainter::IconImage image = StatusIconPainter::paint(look, scale);
    std::vector<uint8_t> bytes;
    bytes.reserve(image.pixels.size() * 4);
    for (uint32_t pixel : image.pixels) {
        for (int shift : {24, 16, 8, 0}) {
            bytes.push_back(uint8_t(pixel >> shift));
        }
    }
    GVariant* data = g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, bytes.data(), bytes.size(), 1);
    return g_variant_new("(ii@ay)", image.side, image.side, data);
}

GVariant* pixmaps(const StatusButtonLook& look) {
    GVariantBuilder sizes;
    g_variant_builder_init(&sizes, G_VARIANT_TYPE("a(iiay)"));
    if (look.image != StatusImage::none || !look.title.empty()) {
        for (int scale : kScales) {
            g_variant_builder_add_value(&sizes, pixmap(look, scale));
        }
    }
    return g_variant_ref_sink(g_variant_builder_end(&sizes));
}

GVariant* noPixmaps() {
    return g_variant_new_array(G_VARIANT_TYPE("(iiay)"), nullptr, 0);
}

}  // namespace

SniStatusItem::SniStatusItem(GDBusConnection* bus, Log& log, std::function<Menu()> menuNeedsUpdate,
                             std::function<void(const MenuItem&)> activate)
    : pixmaps_(pixmaps(look_)) {
    if (bus == nullptr) {
        log.line("Ventilux: no session bus, so no tray icon; the hot key still works.");
        return;
    }
    auto object = DbusObject::make(
        bus, kPath, kIntrospection,
        [this](const std::string& method, GVariant*, GDBusMethodInvocation* invocation) {
            onCall(method, invocation);
        },
        [this](const std::string& name) { return property(name); });
    auto menu = DbusMenuExporter::make(bus, std::move(menuNeedsUpdate), std::move(activate));
    if (!object || !menu) {
        log.line("Ventilux: cannot show the tray icon: " +
                 (object ? menu.error() : object.error()).description +
                 "; the hot key still works.");
        return;
    }
    object_ = std::move(*object);
    menu_ = std::move(*menu);
    registration_ = std::make_unique<SniWatcherRegistration>(bus, log);
}

SniStatusItem::~SniStatusItem() {
    g_variant_unref(pixmaps_);
}

void SniStatusItem::setLook(const StatusButtonLook& look) {
    if (look == look_) {
        return;
    }
    const StatusButtonLook old = std::exchange(look_, look);
    const bool redrawn =
        old.image != look.image || old.tint != look.tint || old.title != look.title;
    if (redrawn) {
        g_variant_unref(pixmaps_);
        pixmaps_ = pixmaps(look_);
    }
    if (object_ == nullptr) {
        return;
    }
    if (redrawn) {
        object_->emit("NewIcon", nullptr);
    }
    if (old.title != look.title) {
        object_->emit("NewTitle", nullptr);
    }
    if (old.title != look.title || old.toolTip != look.toolTip) {
        object_->emit("NewToolTip", nullptr);
    }
}

std::string SniStatusItem::title() const {
    const std::string seconds = trimmed(look_.title);
    return seconds.empty() ? kName : std::string(kName) + " " + seconds;
}

GVariant* SniStatusItem::toolTip() const {
    const std::string heading = look_.toolTip.empty() ? kName : look_.toolTip;
    return g_variant_new("(s@a(iiay)ss)", "", noPixmaps(), heading.c_str(),
                         trimmed(look_.title).c_str());
}

// The menu opens on any click (ItemIsMenu), so the rest has nothing to do.
void SniStatusItem::onCall(const std::string&, GDBusMethodInvocation* invocation) {
    g_dbus_method_invocation_return_value(invocation, nullptr);
}

GVariant* SniStatusItem::property(const std::string& name) const {
    if (name == "Category") {
        return g_variant_new_string("ApplicationStatus");
    }
    if (name == "Id") {
        return g_variant_new_string("ventilux");
    }
    if (name == "Title") {
        return g_variant_new_string(title().c_str());
    }
    if (name == "Status") {
        return g_variant_new_string("Active");
    }
    if (name == "WindowId") {
        return g_variant_new_int32(0);
    }
    if (name == "Menu") {
        return g_variant_new_object_path(DbusMenuExporter::kPath);
    }
    if (name == "ItemIsMenu") {
        return g_variant_new_boolean(true);
    }
    if (name == "IconPixmap") {
        return g_variant_ref(pixmaps_);
    }
    if (name == "OverlayIconPixmap" || name == "AttentionIconPixmap") {
        return noPixmaps();
    }
    if (name == "ToolTip") {
        return toolTip();
    }
    // The icon is drawn, never named: IconName, IconThemePath and the rest are empty.
    return g_variant_new_string("");
}

}  // namespace vx::platform::linux_
