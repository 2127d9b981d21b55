#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/DefaultsStore.h"

namespace vx::StoredValue {

// Reads a stored value as the type the caller expects, converting between the
// store's types the way the user-defaults store of the original desktop does:
// numbers and booleans convert into each other, a string is parsed from its
// start, and anything missing or unreadable reads as 0, false or none. A float
// that is not finite reads as 0, so that the caller's floor applies to it.
double asDouble(const std::optional<platform::DefaultsValue>& stored);
int64_t asInteger(const std::optional<platform::DefaultsValue>& stored);
bool asBool(const std::optional<platform::DefaultsValue>& stored);
std::optional<std::string> asString(const std::optional<platform::DefaultsValue>& stored);

}  // namespace vx::StoredValue
