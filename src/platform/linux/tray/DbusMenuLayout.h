#pragma once

#include <gio/gio.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Menu.h"

namespace vx::platform::linux_ {

// One revision of the menu as com.canonical.dbusmenu shows it: the root is
// id 0 and the items are numbered 1, 2, ... depth first, so that a menu
// rebuilt with the same shape keeps its ids.
class DbusMenuLayout {
  public:
    DbusMenuLayout() : DbusMenuLayout(Menu{}) {}
    explicit DbusMenuLayout(const Menu& menu);

    bool contains(int32_t id) const { return id >= 0 && size_t(id) < nodes_.size(); }
    // nullptr for the root and for ids this revision does not have.
    const MenuItem* item(int32_t id) const;

    // The names filter the properties; none means all of them. Each returns a
    // new floating value; `id` must be contained.
    GVariant* node(int32_t id, int32_t depth, const std::vector<std::string>& names) const;
    GVariant* properties(int32_t id, const std::vector<std::string>& names) const;

    // Whether a host would show both alike.
    bool looksLike(const DbusMenuLayout& other) const;

  private:
    struct Node {
        MenuItem item;  // empty for the root
        std::vector<int32_t> children;
    };
    void add(const Menu& menu, int32_t parent);

    std::vector<Node> nodes_;  // by id
};

}  // namespace vx::platform::linux_
