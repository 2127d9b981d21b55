#pragma once

#include <cstdint>
#include <string>

#include "platform/Types.h"

namespace vx::platform::linux_ {

// The error domain of failures from the screen-cast portal and the PipeWire
// streams it hands out.
inline constexpr const char* kScreenCastErrorDomain = "ScreenCast";

enum class ScreenCastErrorCode : int64_t {
    portalMissing = 1,
    refused = 2,
    noAnswer = 3,
    streamEnded = 4,
    noPicture = 5,
    badRequest = 6,
    displayGone = 7,
};

inline Error screenCastError(ScreenCastErrorCode code, std::string description) {
    return Error{kScreenCastErrorDomain, static_cast<int64_t>(code), std::move(description)};
}

}  // namespace vx::platform::linux_
