#pragma once

#include <map>

#include "platform/DefaultsStore.h"

namespace vx::platform::sim {

class SimDefaultsStore : public DefaultsStore {
  public:
    void registerDefaults(const std::map<std::string, DefaultsValue>& defaults) override {
        for (const auto& [key, value] : defaults) {
            registered_[key] = value;
        }
    }
    std::optional<DefaultsValue> value(const std::string& key) const override {
        if (auto found = stored.find(key); found != stored.end()) {
            return found->second;
        }
        if (auto found = registered_.find(key); found != registered_.end()) {
            return found->second;
        }
        return std::nullopt;
    }
    void set(const std::string& key, const DefaultsValue& value) override { stored[key] = value; }

    // What has been written, for tests to read and to seed.
    std::map<std::string, DefaultsValue> stored;

  private:
    std::map<std::string, DefaultsValue> registered_;
};

}  // namespace vx::platform::sim
