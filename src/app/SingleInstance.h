#pragma once

namespace vx::SingleInstance {

// True when another copy of this program runs that this copy should give way
// to. Of two copies started at the same moment, which see each other, only
// the younger gives way, so exactly one of them goes on.
bool anotherCopyIsRunning();

}  // namespace vx::SingleInstance
