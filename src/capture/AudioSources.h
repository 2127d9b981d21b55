#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vx::AudioSources {

// One audio input; `id` is what the microphone setting stores.
struct Device {
    std::string id;
    std::string name;
    bool operator==(const Device&) const = default;
};

// The present inputs in the system's order, each id once, asked afresh every call.
std::vector<Device> inputs();

// The name of the present input with `id`, or none.
std::optional<std::string> name(const std::string& id);

// Whether microphones may be recorded; asks the user only when undecided.
// `completion` runs once, on any thread.
void requestAccess(std::function<void(bool)> completion);

}  // namespace vx::AudioSources
