#pragma once

#include <xcb/shm.h>

#include <cstddef>
#include <cstdint>
#include <expected>
#include <memory>

#include "platform/Types.h"
#include "platform/linux/x11/XcbConnection.h"

namespace vx::platform::linux_ {

// A block of System V shared memory that the X server has attached, so that it can
// write images straight into our memory instead of through the socket.
class XcbShmSegment {
  public:
    static std::expected<std::unique_ptr<XcbShmSegment>, Error> create(
        const XcbConnection& connection, size_t size);
    ~XcbShmSegment();
    XcbShmSegment(const XcbShmSegment&) = delete;
    XcbShmSegment& operator=(const XcbShmSegment&) = delete;

    // Tells the server to let go of the segment while the memory stays ours until
    // destruction, which then needs the connection no more.
    void detach();

    xcb_shm_seg_t id() const { return id_; }
    uint8_t* data() const { return data_; }
    size_t size() const { return size_; }

  private:
    XcbShmSegment(const XcbConnection& connection, xcb_shm_seg_t id, uint8_t* data, size_t size);

    const XcbConnection* connection_;  // none once detached
    xcb_shm_seg_t id_;
    uint8_t* data_;
    size_t size_;
};

}  // namespace vx::platform::linux_
