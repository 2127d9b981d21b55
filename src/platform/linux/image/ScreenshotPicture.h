#pragma once

#include <expected>
#include <memory>

#include "platform/ScreenCapture.h"
#include "platform/linux/image/ImageView.h"
#include "platform/linux/image/PixelPool.h"

namespace vx::platform::linux_ {

// What every source of screenshots does alike: refuse sizes no one could
// mean, and turn the screen's picture into the size asked for.
namespace ScreenshotPicture {

// The error domain of requests refused before the screen is read.
inline constexpr const char* kErrorDomain = "Screenshot";
// How many free resized pictures a service keeps for the next: in the usual run a
// picture comes back before the next is taken, and more kept would stay for good.
inline constexpr size_t kPicturesKept = 1;

std::expected<void, Error> check(const ScreenshotRequest& request);
// Whether a screen of that size is already what the request asks for, so that its
// picture can be handed on as it is.
bool fitsAsIs(int64_t width, int64_t height, const ScreenshotRequest& request);
// `screen` resized to the request, which check() has passed, in a picture of `pool`.
std::expected<std::shared_ptr<const PixelBuffer>, Error> fit(ConstImageView screen,
                                                             const ScreenshotRequest& request,
                                                             PixelPool& pool);

}  // namespace ScreenshotPicture

}  // namespace vx::platform::linux_
