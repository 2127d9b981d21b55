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

// evenSize of the display, or why no movie can be made at that size: a side
// shrunk more than kLargestShrink times shows nothing and is more than the
// scaler takes; one over kLargestSide pixels is more than encoders take.
inline constexpr int64_t kLargestShrink = 32;
inline constexpr int64_t kLargestSide = 8192;
std::expected<std::pair<int64_t, int64_t>, platform::Error> recordingSize(
    const platform::DisplayInfo& display, double scale);

// Minutes and seconds, "M:SS"; minutes grow past 59.
std::string clock(platform::MediaTime time);

}  // namespace vx::CaptureTarget
