#pragma once

#include <cstddef>
#include <expected>
#include <memory>
#include <optional>
#include <vector>

#include "platform/Types.h"
#include "platform/linux/x11/XcbConnection.h"
#include "platform/linux/x11/XcbShmSegment.h"

namespace vx::platform::linux_ {

// Shared-memory segments that screenshots are taken into and handed on as they are,
// so that no picture is copied out of them: a segment lent out takes no other
// screenshot until the last holder of its keeper lets go, which any thread may do.
// Used from one thread at a time.
class XcbShmPool {
  public:
    explicit XcbShmPool(const XcbConnection& connection);
    // The server lets go of every segment; those still held stay ours until let go.
    ~XcbShmPool();
    XcbShmPool(const XcbShmPool&) = delete;
    XcbShmPool& operator=(const XcbShmPool&) = delete;

    struct Lease {
        const XcbShmSegment* segment;
        std::shared_ptr<const void> keeper;  // the segment is ours while a copy lives
    };
    // A segment of exactly `size` bytes that nothing holds, or none when all are held
    // (a few suffice: a movie writer holds at most two frames). Fails when the server
    // cannot attach one.
    std::expected<std::optional<Lease>, Error> lease(size_t size);

    static constexpr size_t kMostSegments = 4;

  private:
    struct Slot;

    const XcbConnection& connection_;
    std::vector<std::shared_ptr<Slot>> slots_;
};

}  // namespace vx::platform::linux_
