#include "platform/linux/image/ScreenshotPicture.h"

#include <new>
#include <string>
#include <utility>

#include "platform/linux/image/ImageScaler.h"

namespace vx::platform::linux_::ScreenshotPicture {

namespace {

// About twice the width of an 8K screen: larger is a mistake, and would cost gigabytes.
constexpr int64_t kLargestSide = 16384;

std::string sizeText(const ScreenshotRequest& request) {
    return std::to_string(request.width) + " × " + std::to_string(request.height) + " pixels";
}

}  // namespace

std::expected<void, Error> check(const ScreenshotRequest& request) {
    if (request.width < 1 || request.height < 1 || request.width > kLargestSide ||
        request.height > kLargestSide) {
        return std::unexpected(
            Error{kErrorDomain, 1, "A screenshot of " + sizeText(request) + " cannot be taken."});
    }
    return {};
}

bool fitsAsIs(int64_t width, int64_t height, const ScreenshotRequest& request) {
    return width == request.width && height == request.height;
}

std::expected<std::shared_ptr<const PixelBuffer>, Error> fit(ConstImageView screen,
                                                             const ScreenshotRequest& request,
                                                             PixelPool& pool) {
    try {
        PixelPool::Picture taken =
            pool.take(static_cast<int>(request.width), static_cast<int>(request.height));
        ImageScaler::fit(screen, taken.pixels, request.scalesToFit);
        return std::make_shared<const PixelBuffer>(std::move(taken.picture));
    } catch (const std::bad_alloc&) {
        return std::unexpected(
            Error{kErrorDomain, 2,
                  "There is not enough memory for a screenshot of " + sizeText(request) + "."});
    }
}

}  // namespace vx::platform::linux_::ScreenshotPicture
