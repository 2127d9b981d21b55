#pragma once

#include <expected>
#include <memory>

#include "platform/ScreenCapture.h"
#include "platform/linux/image/ImageView.h"

namespace vx::platform::linux_ {

// What every source of screenshots does alike: refuse sizes no one could
// mean, and turn the screen's picture into the size asked for.
namespace ScreenshotPicture {

// The error domain of requests refused before the screen is read.
inline constexpr const char* kErrorDomain = "Screenshot";

std::expected<void, Error> check(const ScreenshotRequest& request);
// `screen` resized to the request, which check() has passed.
std::expected<std::shared_ptr<const PixelBuffer>, Error> fit(ConstImageView screen,
                                                             const ScreenshotRequest& request);

}  // namespace ScreenshotPicture

}  // namespace vx::platform::linux_
