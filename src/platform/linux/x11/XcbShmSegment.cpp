#include "platform/linux/x11/XcbShmSegment.h"

#include <sys/ipc.h>
#include <sys/shm.h>

namespace vx::platform::linux_ {

std::expected<std::unique_ptr<XcbShmSegment>, Error> XcbShmSegment::create(
    const XcbConnection& connection, size_t size) {
    const int shmId = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
    if (shmId < 0) {
        return std::unexpected(x11Error(X11ErrorCode::serverRefused,
                                        "No shared memory is available for the screen image."));
    }
    void* mapped = shmat(shmId, nullptr, 0);
    if (mapped == reinterpret_cast<void*>(-1)) {
        shmctl(shmId, IPC_RMID, nullptr);
        return std::unexpected(
            x11Error(X11ErrorCode::serverRefused,
                     "The shared memory for the screen image cannot be mapped."));
    }
    const xcb_shm_seg_t id = xcb_generate_id(connection.get());
    XcbReply<xcb_generic_error_t> error(xcb_request_check(
        connection.get(), xcb_shm_attach_checked(connection.get(), id, shmId, 0)));
    // Once the server holds it (or has refused it), the segment needs no name any more:
    // the system frees it when the last of us detaches, even after a crash.
    shmctl(shmId, IPC_RMID, nullptr);
    if (error || connection.broken()) {
        shmdt(mapped);
        // A server on another machine or in another IPC namespace cannot attach it.
        return std::unexpected(error ? connection.refusedError("share memory", error.get())
                                     : connection.lostError());
    }
    return std::unique_ptr<XcbShmSegment>(
        new XcbShmSegment(connection, id, static_cast<uint8_t*>(mapped), size));
}

XcbShmSegment::XcbShmSegment(const XcbConnection& connection, xcb_shm_seg_t id, uint8_t* data,
                             size_t size)
    : connection_(&connection), id_(id), data_(data), size_(size) {}

XcbShmSegment::~XcbShmSegment() {
    detach();
    shmdt(data_);
}

void XcbShmSegment::detach() {
    if (connection_ != nullptr && !connection_->broken()) {
        XcbReply<xcb_generic_error_t> ignored(
            xcb_request_check(connection_->get(), xcb_shm_detach_checked(connection_->get(), id_)));
    }
    connection_ = nullptr;
}

}  // namespace vx::platform::linux_
