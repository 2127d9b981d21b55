#include "capture/CaptureTarget.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/Services.h"

namespace vx::CaptureTarget {

namespace {

constexpr int64_t kNoDisplayErrorCode = 3;
constexpr int64_t kUnrecordableSizeErrorCode = 4;

const platform::DisplayInfo* findDisplay(const std::vector<platform::DisplayInfo>& displays,
                                         uint32_t displayID) {
    auto found = std::find_if(displays.begin(), displays.end(),
                              [displayID](const auto& d) { return d.displayID == displayID; });
    return found == displays.end() ? nullptr : &*found;
}

int64_t evenSide(int64_t side, double scale) {
    auto scaled = static_cast<int64_t>(std::round(static_cast<double>(side) * scale));
    scaled -= scaled % 2;  // towards zero
    return std::max<int64_t>(scaled, 2);
}

}  // namespace

void display(uint32_t displayID, std::function<void(DisplayResult)> completion) {
    auto& capture = *platform::services().screenCapture;
    capture.shareableContent(
        [&capture, displayID, completion = std::move(completion)](
            std::expected<platform::ShareableContent, platform::Error> content) {
            if (!content) {
                completion(std::unexpected(content.error()));
                return;
            }
            const auto& displays = content->displays;
            if (displays.empty()) {
                completion(
                    std::unexpected(platform::Error{platform::kAppErrorDomain, kNoDisplayErrorCode,
                                                    "No displays available to capture."}));
                return;
            }
            const platform::DisplayInfo* chosen = findDisplay(displays, displayID);
            if (chosen == nullptr) {
                chosen = findDisplay(displays, capture.mainDisplayID());
            }
            completion(chosen != nullptr ? *chosen : displays.front());
        });
}

std::pair<int64_t, int64_t> evenSize(int64_t width, int64_t height, double scale) {
    return {evenSide(width, scale), evenSide(height, scale)};
}

std::expected<std::pair<int64_t, int64_t>, platform::Error> recordingSize(
    const platform::DisplayInfo& display, double scale) {
    const auto [width, height] = evenSize(display.width, display.height, scale);
    const std::string size = std::to_string(width) + " \u00d7 " + std::to_string(height);
    auto tooSmall = [](int64_t side, int64_t displaySide) {
        return side * kLargestShrink < displaySide;
    };
    if (tooSmall(width, display.width) || tooSmall(height, display.height)) {
        return std::unexpected(
            platform::Error{platform::kAppErrorDomain, kUnrecordableSizeErrorCode,
                            "The picture would be " + size +
                                " pixels, too small to record; choose a larger " + "resolution."});
    }
    if (std::max(width, height) > kLargestSide) {
        return std::unexpected(
            platform::Error{platform::kAppErrorDomain, kUnrecordableSizeErrorCode,
                            "The picture would be " + size + " pixels, more than the " +
                                std::to_string(kLargestSide) +
                                " a side a movie can hold; choose a smaller " + "resolution."});
    }
    return std::pair{width, height};
}

std::string clock(platform::MediaTime time) {
    const double seconds = time.seconds();
    const int64_t total = std::isfinite(seconds) ? static_cast<int64_t>(std::round(seconds)) : 0;
    const int64_t minutes = total / 60;
    char text[48];
    std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(minutes),
                  static_cast<long long>(total - minutes * 60));
    return text;
}

}  // namespace vx::CaptureTarget
