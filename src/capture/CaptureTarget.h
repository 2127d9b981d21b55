#pragma once

#include <cstdint>
#include <expected>
#include <functional>
#include <string>
#include <utility>

#include "platform/ScreenCapture.h"
#include "platform/Types.h"

namespace vx::CaptureTarget {

using DisplayResult = std::expected<platform::DisplayInfo, platform::Error>;

// The display with `displayID`, else the main display, else the first one.
// `completion` runs once, on a thread of the platform's choosing.
void display(uint32_t displayID, std::function<void(DisplayResult)> completion);

// The capture size for a display scaled by `scale`: each side even and at least 2.
std::pair<int64_t, int64_t> evenSize(int64_t width, int64_t height, double scale);

// Minutes and seconds, "M:SS"; minutes grow past 59.
std::string clock(platform::MediaTime time);

}  // namespace vx::CaptureTarget
