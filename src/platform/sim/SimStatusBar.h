#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/StatusBar.h"
#include "platform/sim/SimStatusButton.h"

namespace vx::platform::sim {

// A tray with room for one item. The test plays the user: it opens the menu,
// chooses items from it and looks at the button.
class SimStatusBar : public StatusBar {
  public:
    std::unique_ptr<StatusItem> makeStatusItem(
        std::function<Menu()> menuNeedsUpdate,
        std::function<void(const MenuItem& chosen)> activate) override;

    // Whether an item is in the tray now.
    bool hasItem() const { return item_ != nullptr; }
    // The item's button; the item must be in the tray.
    SimStatusButton& button();

    // Asks the item for its menu, as the tray does before every opening.
    Menu openMenu();
    // Opens the menu and chooses the item reached by following `titles` through
    // submenus, as a user would; false when there is no such item or it (or a
    // parent on the way) is disabled, and then nothing is activated.
    bool choose(const std::vector<std::string>& titles);
    // Hands `item` to the item's action as it is, as a tray that does not
    // check what it sends might.
    void activate(const MenuItem& item);

    // Whether the desktop runs a tray that shows the item; without one the
    // item still exists, unseen.
    bool showsItems = true;

  private:
    class Item;
    Item* item_ = nullptr;
};

}  // namespace vx::platform::sim
