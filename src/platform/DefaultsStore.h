#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>

namespace vx::platform {

using DefaultsValue = std::variant<double, int64_t, bool, std::string>;

// The per-user typed key-value store. Registered defaults live in memory
// beneath stored values and are never written out.
class DefaultsStore {
  public:
    virtual ~DefaultsStore() = default;
    virtual void registerDefaults(const std::map<std::string, DefaultsValue>& defaults) = 0;
    // The stored value, else the registered default, else none. A stored value
    // that cannot be read back as any type reads as none.
    virtual std::optional<DefaultsValue> value(const std::string& key) const = 0;
    virtual void set(const std::string& key, const DefaultsValue& value) = 0;
};

}  // namespace vx::platform
