#include "platform/sim/SimScreenCapture.h"

namespace vx::platform::sim {

void SimScreenCapture::shareableContent(ShareableContentHandler handler) {
    if (contentError) {
        handler(std::unexpected(*contentError));
    } else {
        handler(content);
    }
}

void SimScreenCapture::captureScreenshot(const ScreenshotRequest& request,
                                         ScreenshotHandler handler) {
    requests.push_back(request);
    // Every byte holds the screenshot's number, so a test can tell frames apart.
    const auto marker = static_cast<uint8_t>(requests.size());
    if (holdScreenshots) {
        held_.push_back({marker, request, std::move(handler)});
    } else {
        deliver(marker, request, handler);
    }
}

void SimScreenCapture::completeHeldScreenshot(size_t index) {
    Held screenshot = std::move(held_.at(index));
    held_.erase(held_.begin() + static_cast<std::ptrdiff_t>(index));
    deliver(screenshot.marker, screenshot.request, screenshot.handler);
}

void SimScreenCapture::deliver(uint8_t marker, const ScreenshotRequest& request,
                               const ScreenshotHandler& handler) {
    if (captureError) {
        handler(std::unexpected(*captureError));
        return;
    }
    auto image = std::make_shared<PixelBuffer>();
    image->width = request.width;
    image->height = request.height;
    image->stride = request.width * 4;
    image->bytes = std::vector<uint8_t>(static_cast<size_t>(image->stride * image->height), marker);
    handler(std::shared_ptr<const PixelBuffer>(std::move(image)));
}

}  // namespace vx::platform::sim
