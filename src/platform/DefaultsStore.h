#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>

namespace vx::platform {

using DefaultsValue = std::variant<double, int64_t, bool, std::string>;

// The per-user typed key-value store. Registered defaults live in memory
// beneath stored values and are never written out. Safe from any thread.
class DefaultsStore {
  public:
    virtual ~DefaultsStore() = default;
    // Main thread, before the event loop runs; does not block.
    virtual void registerDefaults(const std::map<std::string, DefaultsValue>& defaults) = 0;
    // The stored value, else the registered default, else none. A stored value
    // that cannot be read back as any type reads as none. Any thread (the main
    // thread, background tasks, the capture queue); reads the disk, and may
    // wait while a change made on another thread is saved.
    virtual std::optional<DefaultsValue> value(const std::string& key) const = 0;
    // The main thread (the menu); a desktop service may also save from
    // background tasks and threads of its own (screen-sharing consent). Blocks
    // while another running copy writes the store, and until the change is on
    // disk.
    virtual void set(const std::string& key, const DefaultsValue& value) = 0;
};

}  // namespace vx::platform
