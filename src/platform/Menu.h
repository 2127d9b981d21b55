#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace vx::platform {

// The value a menu item hands to its action.
using RepresentedObject = std::variant<std::monostate, double, int64_t, uint32_t, std::string>;

// One line of a menu, as plain data: the core builds the whole menu afresh each
// time it is about to open, and the tray shows it as it is.
struct MenuItem {
    bool separator = false;
    std::string title;
    std::string action;         // the controller's action name; empty: none
    std::string keyEquivalent;  // shown with the primary modifier; empty: none
    bool checked = false;
    bool enabled = true;
    std::string toolTip;
    RepresentedObject representedObject;
    std::vector<MenuItem> submenu;

    static MenuItem makeSeparator() {
        MenuItem item;
        item.separator = true;
        return item;
    }
};

using Menu = std::vector<MenuItem>;

}  // namespace vx::platform
