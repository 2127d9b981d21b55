#include "platform/linux/x11/X11FrameGrabber.h"

#include <xcb/shm.h>

#include <string>

namespace vx::platform::linux_ {
namespace {

constexpr uint32_t kAllPlanes = ~0u;

int bitsPerPixel(const xcb_setup_t* setup, uint8_t depth) {
    for (auto it = xcb_setup_pixmap_formats_iterator(setup); it.rem > 0; xcb_format_next(&it)) {
        if (it.data->depth == depth) {
            return it.data->bits_per_pixel;
        }
    }
    return 0;
}

const xcb_visualtype_t* rootVisual(const xcb_screen_t& screen) {
    for (auto depths = xcb_screen_allowed_depths_iterator(&screen); depths.rem > 0;
         xcb_depth_next(&depths)) {
        for (auto visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem > 0;
             xcb_visualtype_next(&visuals)) {
            if (visuals.data->visual_id == screen.root_visual) {
                return visuals.data;
            }
        }
    }
    return nullptr;
}

bool isBgrx(const XcbConnection& connection) {
    const xcb_setup_t* setup = xcb_get_setup(connection.get());
    const xcb_visualtype_t* visual = rootVisual(connection.screen());
    return setup->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST &&
           bitsPerPixel(setup, connection.screen().root_depth) == 32 && visual != nullptr &&
           visual->red_mask == 0xff0000 && visual->green_mask == 0xff00 &&
           visual->blue_mask == 0xff;
}

}  // namespace

std::expected<std::unique_ptr<X11FrameGrabber>, Error> X11FrameGrabber::create(
    const XcbConnection& connection) {
    if (!isBgrx(connection)) {
        return std::unexpected(x11Error(X11ErrorCode::unsupportedFormat,
                                        "The X screen's pixel format (depth " +
                                            std::to_string(connection.screen().root_depth) +
                                            ") cannot be captured."));
    }
    const xcb_query_extension_reply_t* shm = xcb_get_extension_data(connection.get(), &xcb_shm_id);
    return std::unique_ptr<X11FrameGrabber>(
        new X11FrameGrabber(connection, shm != nullptr && shm->present != 0));
}

X11FrameGrabber::X11FrameGrabber(const XcbConnection& connection, bool serverHasShm)
    : connection_(connection), useShm_(serverHasShm), keptSegments_(connection) {}

std::expected<void, Error> X11FrameGrabber::refused(const Error& error) {
    if (connection_.broken()) {
        return std::unexpected(error);
    }
    useShm_ = false;
    return {};
}

std::expected<ImageView, Error> X11FrameGrabber::grab(int left, int top, int width, int height) {
    if (useShm_) {
        const size_t bytes = size_t(width) * height * 4;
        if (!segment_ || segment_->size() < bytes) {
            segment_.reset();
            auto created = XcbShmSegment::create(connection_, bytes);
            if (created) {
                segment_ = std::move(*created);
            } else if (auto given = refused(created.error()); !given) {
                return std::unexpected(given.error());
            }
        }
    }
    return useShm_ ? grabShared(*segment_, left, top, width, height)
                   : grabThroughSocket(left, top, width, height);
}

std::expected<std::optional<X11FrameGrabber::KeptImage>, Error> X11FrameGrabber::grabToKeep(
    int left, int top, int width, int height) {
    if (!useShm_) {
        return std::nullopt;
    }
    auto lease = keptSegments_.lease(size_t(width) * height * 4);
    if (!lease) {
        if (auto given = refused(lease.error()); !given) {
            return std::unexpected(given.error());
        }
        return std::nullopt;
    }
    if (!*lease) {
        return std::nullopt;
    }
    auto pixels = grabShared(*(*lease)->segment, left, top, width, height);
    if (!pixels) {
        return std::unexpected(pixels.error());
    }
    return KeptImage{*pixels, std::move((*lease)->keeper)};
}

std::expected<ImageView, Error> X11FrameGrabber::grabShared(const XcbShmSegment& segment, int left,
                                                            int top, int width, int height) {
    xcb_connection_t* c = connection_.get();
    xcb_generic_error_t* error = nullptr;
    auto reply = connection_.answer(
        xcb_shm_get_image_reply(
            c,
            xcb_shm_get_image(c, connection_.root(), static_cast<int16_t>(left),
                              static_cast<int16_t>(top), static_cast<uint16_t>(width),
                              static_cast<uint16_t>(height), kAllPlanes, XCB_IMAGE_FORMAT_Z_PIXMAP,
                              segment.id(), 0),
            &error),
        error, "copy the screen");
    if (!reply) {
        return std::unexpected(reply.error());
    }
    return ImageView{segment.data(), width, height, ptrdiff_t(width) * 4};
}

std::expected<ImageView, Error> X11FrameGrabber::grabThroughSocket(int left, int top, int width,
                                                                   int height) {
    xcb_connection_t* c = connection_.get();
    socketImage_.reset();
    xcb_generic_error_t* error = nullptr;
    auto reply = connection_.answer(
        xcb_get_image_reply(
            c,
            xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, connection_.root(),
                          static_cast<int16_t>(left), static_cast<int16_t>(top),
                          static_cast<uint16_t>(width), static_cast<uint16_t>(height), kAllPlanes),
            &error),
        error, "copy the screen");
    if (!reply) {
        return std::unexpected(reply.error());
    }
    if (xcb_get_image_data_length(reply->get()) < int64_t(width) * height * 4) {
        return std::unexpected(x11Error(X11ErrorCode::serverRefused,
                                        "The X server sent a screen image of the wrong size."));
    }
    socketImage_ = std::move(*reply);
    return ImageView{xcb_get_image_data(socketImage_.get()), width, height, ptrdiff_t(width) * 4};
}

}  // namespace vx::platform::linux_
