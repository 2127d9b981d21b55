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
    if (captureError) {
        handler(std::unexpected(*captureError));
        return;
    }
    // Every byte holds the screenshot's number, so a test can tell frames apart.
    auto image = std::make_shared<PixelBuffer>();
    image->width = request.width;
    image->height = request.height;
    image->stride = request.width * 4;
    image->bytes.assign(static_cast<size_t>(image->stride * image->height),
                        static_cast<uint8_t>(requests.size()));
    handler(std::shared_ptr<const PixelBuffer>(std::move(image)));
}

}  // namespace vx::platform::sim
