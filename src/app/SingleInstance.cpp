#include "app/SingleInstance.h"

#include <algorithm>

#include "platform/Services.h"

namespace vx::SingleInstance {

namespace {

using platform::RunningApp;

// A copy known to have started after this one does not count: it will see this
// one and give way itself. Without both launch times, every copy counts.
bool startedLater(const RunningApp& other, const RunningApp& self) {
    if (!other.launchTime || !self.launchTime) {
        return false;
    }
    if (*other.launchTime != *self.launchTime) {
        return *other.launchTime > *self.launchTime;
    }
    return other.pid > self.pid;
}

bool isTwin(const RunningApp& other, const RunningApp& self) {
    // Two missing identifiers are equal; a missing one never equals a present one.
    return other.identifier == self.identifier && other.pid != self.pid &&
           !startedLater(other, self);
}

}  // namespace

bool anotherCopyIsRunning() {
    const platform::RunningApps& apps = *platform::services().runningApps;
    const RunningApp self = apps.current();
    return std::ranges::any_of(apps.list(),
                               [&](const RunningApp& other) { return isTwin(other, self); });
}

}  // namespace vx::SingleInstance
