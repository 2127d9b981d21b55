#include "platform/sim/SimStatusBar.h"

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <utility>

namespace vx::platform::sim {

class SimStatusBar::Item : public StatusItem {
  public:
    Item(SimStatusBar& bar, std::function<Menu()> menuNeedsUpdate,
         std::function<void(const MenuItem&)> activate)
        : bar_(bar), menuNeedsUpdate(std::move(menuNeedsUpdate)), activate(std::move(activate)) {}
    ~Item() override { bar_.item_ = nullptr; }
    StatusButton& button() override { return button_; }
    bool isShown() const override { return bar_.showsItems; }

    SimStatusButton button_;
    SimStatusBar& bar_;
    const std::function<Menu()> menuNeedsUpdate;
    const std::function<void(const MenuItem&)> activate;
};

std::unique_ptr<StatusItem> SimStatusBar::makeStatusItem(
    std::function<Menu()> menuNeedsUpdate, std::function<void(const MenuItem& chosen)> activate) {
    if (item_ != nullptr) {
        throw std::logic_error("the simulated tray holds one item at a time");
    }
    auto made = std::make_unique<Item>(*this, std::move(menuNeedsUpdate), std::move(activate));
    item_ = made.get();
    return made;
}

SimStatusButton& SimStatusBar::button() {
    if (item_ == nullptr) {
        throw std::logic_error("no status item in the simulated tray");
    }
    return item_->button_;
}

Menu SimStatusBar::openMenu() {
    if (item_ == nullptr) {
        throw std::logic_error("no status item in the simulated tray");
    }
    return item_->menuNeedsUpdate();
}

bool SimStatusBar::choose(const std::vector<std::string>& titles) {
    Menu level = openMenu();
    std::optional<MenuItem> found;
    for (const std::string& title : titles) {
        auto match = std::find_if(level.begin(), level.end(), [&](const MenuItem& item) {
            return !item.separator && item.title == title;
        });
        if (match == level.end() || !match->enabled) {
            return false;
        }
        found = *match;
        level = found->submenu;
    }
    if (!found) {
        return false;
    }
    activate(*found);
    return true;
}

void SimStatusBar::activate(const MenuItem& item) {
    if (item_ == nullptr) {
        throw std::logic_error("no status item in the simulated tray");
    }
    // A copy: the action may rebuild or drop what the tray holds.
    const MenuItem chosen = item;
    item_->activate(chosen);
}

}  // namespace vx::platform::sim
