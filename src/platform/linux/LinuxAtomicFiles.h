#pragma once

#include "platform/AtomicFiles.h"

namespace vx::platform::linux_ {

// A temporary file beside the target, flushed to disk, renamed over it, and
// the folder flushed so that the rename survives a crash too.
class LinuxAtomicFiles : public AtomicFiles {
  public:
    std::expected<void, Error> replace(const std::filesystem::path& file,
                                       std::string_view contents) override;
};

}  // namespace vx::platform::linux_
