#include "platform/linux/wayland/PortalScreenCapture.h"

#include <pthread.h>

#include <algorithm>

#include "platform/linux/image/ScreenshotPicture.h"
#include "platform/linux/wayland/ScreenCastErrors.h"

namespace vx::platform::linux_ {

namespace {

// Long enough for a person to choose, short enough that a forgotten dialog
// does not hold a session open for the rest of the day.
constexpr auto kChooserDeadline = std::chrono::minutes(5);

// The output the user chose, found by where the portal says it lies.
const WaylandOutput* chosenOutput(const std::vector<WaylandOutput>& outputs,
                                  const std::optional<CastArea>& area) {
    if (outputs.size() == 1) {
        return &outputs.front();
    }
    if (!area) {
        return nullptr;
    }
    auto found = std::find_if(outputs.begin(), outputs.end(), [&](const WaylandOutput& o) {
        return o.x == area->x && o.y == area->y;
    });
    return found == outputs.end() ? nullptr : &*found;
}

}  // namespace

PortalScreenCapture::PortalScreenCapture(DefaultsStore& store, Log& log)
    : log_(log),
      tokens_(store),
      casts_(tokens_),
      resized_(ScreenshotPicture::kPicturesKept),
      cancellable_(g_cancellable_new()) {}

PortalScreenCapture::~PortalScreenCapture() {
    g_cancellable_cancel(cancellable_);
    {
        std::lock_guard lock(asking_);
        if (question_.joinable()) {
            question_.join();
        }
    }
    g_object_unref(cancellable_);
}

bool PortalScreenCapture::preflightAccess() {
    auto outputs = outputs_.current();
    if (!outputs) {
        return false;
    }
    return std::any_of(outputs->begin(), outputs->end(),
                       [this](const WaylandOutput& o) { return tokens_.isGranted(o.id); });
}

void PortalScreenCapture::requestAccess() {
    std::lock_guard lock(asking_);
    if (questionOpen_) {
        return;
    }
    if (question_.joinable()) {
        question_.join();
    }
    questionOpen_ = true;
    question_ = std::thread([this] {
        askUser();
        questionOpen_ = false;
    });
    pthread_setname_np(question_.native_handle(), "vx portal ask");
}

void PortalScreenCapture::askUser() {
    auto session = ScreenCastPortal::open({std::nullopt, true, kChooserDeadline, cancellable_});
    if (!session) {
        log_.line("Ventilux: screen sharing was not allowed: " + session.error().description);
        return;
    }
    auto outputs = outputs_.current();
    const WaylandOutput* chosen = outputs ? chosenOutput(*outputs, (*session)->area()) : nullptr;
    if (chosen == nullptr || (*session)->restoreToken().empty()) {
        log_.line("Ventilux: the desktop shared a monitor but kept no consent for it.");
        return;
    }
    tokens_.store(chosen->id, (*session)->restoreToken());
}

uint32_t PortalScreenCapture::mainDisplayID() {
    auto outputs = outputs_.current();
    return outputs && !outputs->empty() ? outputs->front().id : 0;
}

void PortalScreenCapture::shareableContent(ShareableContentHandler handler) {
    auto outputs = outputs_.current();
    if (!outputs) {
        handler(std::unexpected(outputs.error()));
        return;
    }
    ShareableContent content;
    for (const WaylandOutput& output : *outputs) {
        content.displays.push_back({output.id, output.width, output.height});
    }
    handler(std::move(content));
}

void PortalScreenCapture::captureScreenshot(const ScreenshotRequest& request,
                                            ScreenshotHandler handler) {
    if (auto checked = ScreenshotPicture::check(request); !checked) {
        handler(std::unexpected(checked.error()));
        return;
    }
    auto picture = casts_.newestPicture(request.displayID, request.showsCursor);
    if (!picture) {
        handler(std::unexpected(picture.error()));
        return;
    }
    const PixelBuffer& screen = **picture;
    // The cast's picture is already a copy of our own, and no one changes it.
    if (ScreenshotPicture::fitsAsIs(screen.width, screen.height, request)) {
        handler(std::move(*picture));
        return;
    }
    handler(ScreenshotPicture::fit(
        {screen.bytes.data(), int(screen.width), int(screen.height), screen.stride}, request,
        resized_));
}

}  // namespace vx::platform::linux_
