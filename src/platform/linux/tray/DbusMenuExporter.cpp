#include "platform/linux/tray/DbusMenuExporter.h"

#include <algorithm>
#include <optional>

namespace vx::platform::linux_ {

namespace {

constexpr const char* kIntrospection = R"xml(
<node>
  <interface name="com.canonical.dbusmenu">
    <property name="Version" type="u" access="read"/>
    <property name="TextDirection" type="s" access="read"/>
    <property name="Status" type="s" access="read"/>
    <property name="IconThemePath" type="as" access="read"/>
    <method name="GetLayout">
      <arg type="i" name="parentId" direction="in"/>
      <arg type="i" name="recursionDepth" direction="in"/>
      <arg type="as" name="propertyNames" direction="in"/>
      <arg type="u" name="revision" direction="out"/>
      <arg type="(ia{sv}av)" name="layout" direction="out"/>
    </method>
    <method name="GetGroupProperties">
      <arg type="ai" name="ids" direction="in"/>
      <arg type="as" name="propertyNames" direction="in"/>
      <arg type="a(ia{sv})" name="properties" direction="out"/>
    </method>
    <method name="GetProperty">
      <arg type="i" name="id" direction="in"/>
      <arg type="s" name="name" direction="in"/>
      <arg type="v" name="value" direction="out"/>
    </method>
    <method name="Event">
      <arg type="i" name="id" direction="in"/>
      <arg type="s" name="eventId" direction="in"/>
      <arg type="v" name="data" direction="in"/>
      <arg type="u" name="timestamp" direction="in"/>
    </method>
    <method name="EventGroup">
      <arg type="a(isvu)" name="events" direction="in"/>
      <arg type="ai" name="idErrors" direction="out"/>
    </method>
    <method name="AboutToShow">
      <arg type="i" name="id" direction="in"/>
      <arg type="b" name="needUpdate" direction="out"/>
    </method>
    <method name="AboutToShowGroup">
      <arg type="ai" name="ids" direction="in"/>
      <arg type="ai" name="updatesNeeded" direction="out"/>
      <arg type="ai" name="idErrors" direction="out"/>
    </method>
    <signal name="ItemsPropertiesUpdated">
      <arg type="a(ia{sv})" name="updatedProps"/>
      <arg type="a(ias)" name="removedProps"/>
    </signal>
    <signal name="LayoutUpdated">
      <arg type="u" name="revision"/>
      <arg type="i" name="parent"/>
    </signal>
    <signal name="ItemActivationRequested">
      <arg type="i" name="id"/>
      <arg type="u" name="timestamp"/>
    </signal>
  </interface>
</node>)xml";

std::vector<std::string> strings(GVariant* array) {
    std::vector<std::string> values;
    GVariantIter iter;
    g_variant_iter_init(&iter, array);
    const gchar* value = nullptr;
    while (g_variant_iter_next(&iter, "&s", &value)) {
        values.emplace_back(value);
    }
    return values;
}

std::vector<int32_t> ids(GVariant* array) {
    std::vector<int32_t> values;
    GVariantIter iter;
    g_variant_iter_init(&iter, array);
    int32_t value = 0;
    while (g_variant_iter_next(&iter, "i", &value)) {
        values.push_back(value);
    }
    return values;
}

GVariant* idArray(const std::vector<int32_t>& values) {
    return g_variant_new_fixed_array(G_VARIANT_TYPE_INT32, values.data(), values.size(),
                                     sizeof(int32_t));
}

void unknownId(GDBusMethodInvocation* invocation, int32_t id) {
    g_dbus_method_invocation_return_error(invocation, G_DBUS_ERROR, G_DBUS_ERROR_INVALID_ARGS,
                                          "The menu has no item %d.", id);
}

}  // namespace

std::expected<std::unique_ptr<DbusMenuExporter>, Error> DbusMenuExporter::make(
    GDBusConnection* bus, std::function<Menu()> menuNeedsUpdate,
    std::function<void(const MenuItem&)> activate) {
    std::unique_ptr<DbusMenuExporter> exporter(
        new DbusMenuExporter(std::move(menuNeedsUpdate), std::move(activate)));
    DbusMenuExporter* self = exporter.get();
    auto object = DbusObject::make(
        bus, kPath, kIntrospection,
        [self](const std::string& method, GVariant* parameters, GDBusMethodInvocation* invocation) {
            self->onCall(method, parameters, invocation);
        },
        [self](const std::string& name) { return self->property(name); });
    if (!object) {
        return std::unexpected(object.error());
    }
    exporter->object_ = std::move(*object);
    return exporter;
}

DbusMenuExporter::DbusMenuExporter(std::function<Menu()> menuNeedsUpdate,
                                   std::function<void(const MenuItem&)> activate)
    : menuNeedsUpdate_(std::move(menuNeedsUpdate)), activate_(std::move(activate)) {}

GVariant* DbusMenuExporter::property(const std::string& name) const {
    if (name == "Version") {
        return g_variant_new_uint32(3);
    }
    if (name == "TextDirection") {
        return g_variant_new_string("ltr");
    }
    if (name == "Status") {
        return g_variant_new_string("normal");
    }
    if (name == "IconThemePath") {
        return g_variant_new_strv(nullptr, 0);
    }
    return nullptr;
}

void DbusMenuExporter::onCall(const std::string& method, GVariant* parameters,
                              GDBusMethodInvocation* invocation) {
    using Handler = void (DbusMenuExporter::*)(GVariant*, GDBusMethodInvocation*);
    static const std::pair<const char*, Handler> kMethods[] = {
        {"GetLayout", &DbusMenuExporter::getLayout},
        {"GetGroupProperties", &DbusMenuExporter::getGroupProperties},
        {"GetProperty", &DbusMenuExporter::getProperty},
        {"Event", &DbusMenuExporter::event},
        {"EventGroup", &DbusMenuExporter::eventGroup},
        {"AboutToShow", &DbusMenuExporter::aboutToShow},
        {"AboutToShowGroup", &DbusMenuExporter::aboutToShowGroup},
    };
    for (const auto& [name, handler] : kMethods) {
        if (method == name) {
            (this->*handler)(parameters, invocation);
            return;
        }
    }
    g_dbus_method_invocation_return_error(invocation, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_METHOD,
                                          "No method %s.", method.c_str());
}

bool DbusMenuExporter::rebuild() {
    DbusMenuLayout rebuilt(menuNeedsUpdate_());
    const bool changed = !rebuilt.looksLike(layout_);
    layout_ = std::move(rebuilt);
    if (changed) {
        ++revision_;
    }
    return changed;
}

bool DbusMenuExporter::rootAboutToShow() {
    builtForNextLayout_ = true;
    if (!rebuild()) {
        return false;
    }
    object_->emit("LayoutUpdated", g_variant_new("(ui)", revision_, 0));
    return true;
}

void DbusMenuExporter::getLayout(GVariant* parameters, GDBusMethodInvocation* invocation) {
    int32_t parent = 0;
    int32_t depth = 0;
    GVariant* names = nullptr;
    g_variant_get(parameters, "(ii@as)", &parent, &depth, &names);
    if (parent == 0) {
        // Answering with the fresh revision is announcement enough.
        if (!builtForNextLayout_) {
            rebuild();
        }
        builtForNextLayout_ = false;
    }
    if (layout_.contains(parent)) {
        g_dbus_method_invocation_return_value(
            invocation, g_variant_new("(u@(ia{sv}av))", revision_,
                                      layout_.node(parent, depth, strings(names))));
    } else {
        unknownId(invocation, parent);
    }
    g_variant_unref(names);
}

void DbusMenuExporter::getGroupProperties(GVariant* parameters, GDBusMethodInvocation* invocation) {
    GVariant* requested = nullptr;
    GVariant* names = nullptr;
    g_variant_get(parameters, "(@ai@as)", &requested, &names);
    const std::vector<std::string> wanted = strings(names);
    GVariantBuilder answer;
    g_variant_builder_init(&answer, G_VARIANT_TYPE("a(ia{sv})"));
    for (int32_t id : ids(requested)) {
        if (layout_.contains(id)) {
            g_variant_builder_add(&answer, "(i@a{sv})", id, layout_.properties(id, wanted));
        }
    }
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(a(ia{sv}))", &answer));
    g_variant_unref(requested);
    g_variant_unref(names);
}

void DbusMenuExporter::getProperty(GVariant* parameters, GDBusMethodInvocation* invocation) {
    int32_t id = 0;
    const gchar* name = nullptr;
    g_variant_get(parameters, "(i&s)", &id, &name);
    if (!layout_.contains(id)) {
        unknownId(invocation, id);
        return;
    }
    GVariant* properties = g_variant_ref_sink(layout_.properties(id, {name}));
    GVariant* value = g_variant_lookup_value(properties, name, nullptr);
    g_variant_unref(properties);
    if (value == nullptr) {
        g_dbus_method_invocation_return_error(invocation, G_DBUS_ERROR, G_DBUS_ERROR_INVALID_ARGS,
                                              "Item %d has no property %s.", id, name);
        return;
    }
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(v)", value));
    g_variant_unref(value);
}

const MenuItem* DbusMenuExporter::clickable(int32_t id, const std::string& eventId) const {
    const MenuItem* item = layout_.item(id);
    if (eventId != "clicked" || item == nullptr || item->separator || !item->enabled ||
        item->action.empty()) {
        return nullptr;
    }
    return item;
}

void DbusMenuExporter::event(GVariant* parameters, GDBusMethodInvocation* invocation) {
    int32_t id = 0;
    const gchar* eventId = nullptr;
    g_variant_get(parameters, "(i&s@vu)", &id, &eventId, nullptr, nullptr);
    if (!layout_.contains(id)) {
        unknownId(invocation, id);
        return;
    }
    // A copy: the action may rebuild the menu it came from.
    std::optional<MenuItem> chosen;
    if (const MenuItem* item = clickable(id, eventId)) {
        chosen = *item;
    }
    // The host hears back before the action runs, whatever the action does.
    g_dbus_method_invocation_return_value(invocation, nullptr);
    if (chosen) {
        activate_(*chosen);
    }
}

void DbusMenuExporter::eventGroup(GVariant* parameters, GDBusMethodInvocation* invocation) {
    GVariantIter* events = nullptr;
    g_variant_get(parameters, "(a(isvu))", &events);
    std::vector<int32_t> idErrors;
    std::vector<MenuItem> chosen;
    int32_t id = 0;
    const gchar* eventId = nullptr;
    while (g_variant_iter_next(events, "(i&s@vu)", &id, &eventId, nullptr, nullptr)) {
        if (!layout_.contains(id)) {
            idErrors.push_back(id);
        } else if (const MenuItem* item = clickable(id, eventId)) {
            chosen.push_back(*item);
        }
    }
    g_variant_iter_free(events);
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(@ai)", idArray(idErrors)));
    for (const MenuItem& item : chosen) {
        activate_(item);
    }
}

void DbusMenuExporter::aboutToShow(GVariant* parameters, GDBusMethodInvocation* invocation) {
    int32_t id = 0;
    g_variant_get(parameters, "(i)", &id);
    if (!layout_.contains(id)) {
        unknownId(invocation, id);
        return;
    }
    // Submenus were built with the root; only the root's opening rebuilds.
    const bool needUpdate = id == 0 && rootAboutToShow();
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(b)", needUpdate));
}

void DbusMenuExporter::aboutToShowGroup(GVariant* parameters, GDBusMethodInvocation* invocation) {
    GVariant* requested = nullptr;
    g_variant_get(parameters, "(@ai)", &requested);
    const std::vector<int32_t> shown = ids(requested);
    g_variant_unref(requested);
    std::vector<int32_t> updatesNeeded;
    if (std::find(shown.begin(), shown.end(), 0) != shown.end() && rootAboutToShow()) {
        updatesNeeded.push_back(0);
    }
    std::vector<int32_t> idErrors;
    std::copy_if(shown.begin(), shown.end(), std::back_inserter(idErrors),
                 [this](int32_t id) { return !layout_.contains(id); });
    g_dbus_method_invocation_return_value(
        invocation, g_variant_new("(@ai@ai)", idArray(updatesNeeded), idArray(idErrors)));
}

}  // namespace vx::platform::linux_
