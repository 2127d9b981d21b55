#pragma once

#include <fstream>
#include <optional>

#include "platform/AtomicFiles.h"

namespace vx::platform::sim {

// Real files (tests point them at a temporary folder), written through a
// temporary file and a rename, without the flushes to disk.
class SimAtomicFiles : public AtomicFiles {
  public:
    std::expected<void, Error> replace(const std::filesystem::path& file,
                                       std::string_view contents) override {
        if (failure) {
            return std::unexpected(*failure);
        }
        std::filesystem::path temporary = file;
        temporary += ".new";
        std::ofstream(temporary, std::ios::binary | std::ios::trunc) << contents;
        std::error_code error;
        std::filesystem::rename(temporary, file, error);
        if (error) {
            std::filesystem::remove(temporary, error);
            return std::unexpected(Error{"sim", 1, "Could not write " + file.string() + "."});
        }
        return {};
    }

    std::optional<Error> failure;  // set: every write fails with it
};

}  // namespace vx::platform::sim
