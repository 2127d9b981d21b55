#pragma once

#include <expected>
#include <filesystem>
#include <string_view>

#include "platform/Types.h"

namespace vx::platform {

// Writes whole files so that readers, and the disk after a crash, see either
// the old contents or the new ones, never a part.
class AtomicFiles {
  public:
    virtual ~AtomicFiles() = default;
    // Creates `file` or replaces it; its folder must exist. Called on the main
    // thread; blocks until the contents are on disk.
    virtual std::expected<void, Error> replace(const std::filesystem::path& file,
                                               std::string_view contents) = 0;
};

}  // namespace vx::platform
