#pragma once

#include "platform/Services.h"

namespace vx::platform::linux_ {

// The real desktop's services for this process. Each Linux service adds its
// own line to the definition; main() installs the result.
Services makeLinuxServices(int argc, char** argv);

}  // namespace vx::platform::linux_
