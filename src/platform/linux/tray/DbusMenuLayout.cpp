#include "platform/linux/tray/DbusMenuLayout.h"

#include <algorithm>

namespace vx::platform::linux_ {

namespace {

// An underscore marks the mnemonic in a dbusmenu label; a literal one is doubled.
std::string escapedLabel(const std::string& title) {
    std::string label;
    for (char c : title) {
        label += c;
        if (c == '_') {
            label += '_';
        }
    }
    return label;
}

class Properties {
  public:
    explicit Properties(const std::vector<std::string>& names) : names_(names) {
        g_variant_builder_init(&builder_, G_VARIANT_TYPE("a{sv}"));
    }
    void add(const char* name, GVariant* value) {
        if (names_.empty() || std::find(names_.begin(), names_.end(), name) != names_.end()) {
            g_variant_builder_add(&builder_, "{sv}", name, value);
        } else {
            g_variant_unref(g_variant_ref_sink(value));
        }
    }
    GVariant* end() { return g_variant_builder_end(&builder_); }

  private:
    const std::vector<std::string>& names_;
    GVariantBuilder builder_;
};

// The key is shown with Control, the primary modifier of Linux desktops.
GVariant* shortcut(const std::string& key) {
    const gchar* keys[] = {"Control", key.c_str(), nullptr};
    GVariant* combination = g_variant_new_strv(keys, -1);
    return g_variant_new_array(G_VARIANT_TYPE("as"), &combination, 1);
}

void addItemProperties(Properties& properties, const MenuItem& item) {
    if (item.separator) {
        properties.add("type", g_variant_new_string("separator"));
        return;
    }
    properties.add("label", g_variant_new_string(escapedLabel(item.title).c_str()));
    properties.add("enabled", g_variant_new_boolean(item.enabled));
    properties.add("visible", g_variant_new_boolean(true));
    // Only checked items are toggles: like the menu bar's own menus, an item
    // that is off shows no box at all.
    if (item.checked) {
        properties.add("toggle-type", g_variant_new_string("checkmark"));
        properties.add("toggle-state", g_variant_new_int32(1));
    }
    if (!item.submenu.empty()) {
        properties.add("children-display", g_variant_new_string("submenu"));
    }
    if (!item.keyEquivalent.empty()) {
        properties.add("shortcut", shortcut(item.keyEquivalent));
    }
    // The protocol has no tool tip; hosts hand this to screen readers.
    if (!item.toolTip.empty()) {
        properties.add("accessible-desc", g_variant_new_string(item.toolTip.c_str()));
    }
}

}  // namespace

DbusMenuLayout::DbusMenuLayout(const Menu& menu) {
    nodes_.push_back({});
    add(menu, 0);
}

void DbusMenuLayout::add(const Menu& menu, int32_t parent) {
    for (const MenuItem& item : menu) {
        const auto id = int32_t(nodes_.size());
        nodes_[size_t(parent)].children.push_back(id);
        nodes_.push_back({item, {}});
        add(item.submenu, id);
    }
}

const MenuItem* DbusMenuLayout::item(int32_t id) const {
    return id > 0 && contains(id) ? &nodes_[size_t(id)].item : nullptr;
}

GVariant* DbusMenuLayout::properties(int32_t id, const std::vector<std::string>& names) const {
    Properties properties(names);
    if (id == 0) {
        properties.add("children-display", g_variant_new_string("submenu"));
    } else {
        addItemProperties(properties, nodes_[size_t(id)].item);
    }
    return properties.end();
}

GVariant* DbusMenuLayout::node(int32_t id, int32_t depth,
                               const std::vector<std::string>& names) const {
    GVariantBuilder children;
    g_variant_builder_init(&children, G_VARIANT_TYPE("av"));
    if (depth != 0) {
        for (int32_t child : nodes_[size_t(id)].children) {
            g_variant_builder_add(&children, "v", node(child, depth - 1, names));
        }
    }
    return g_variant_new("(i@a{sv}av)", id, properties(id, names), &children);
}

bool DbusMenuLayout::looksLike(const DbusMenuLayout& other) const {
    GVariant* mine = g_variant_ref_sink(node(0, -1, {}));
    GVariant* theirs = g_variant_ref_sink(other.node(0, -1, {}));
    const bool same = g_variant_equal(mine, theirs);
    g_variant_unref(mine);
    g_variant_unref(theirs);
    return same;
}

}  // namespace vx::platform::linux_
