#pragma once

#include <string>

namespace vx {

// A new random (version 4) UUID in its standard lower-case text form,
// e.g. "3f2b8c1e-9a4d-4e2f-b7c6-0d1e2f3a4b5c". Safe to call on any thread.
std::string randomUuid();

}  // namespace vx
