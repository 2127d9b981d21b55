#include "platform/linux/x11/XcbShmPool.h"

#include <algorithm>
#include <atomic>
#include <utility>

namespace vx::platform::linux_ {

struct XcbShmPool::Slot {
    explicit Slot(std::unique_ptr<XcbShmSegment> made) : segment(std::move(made)) {}

    std::unique_ptr<XcbShmSegment> segment;
    // Set by the pool as it lends the segment out, cleared by the last holder
    // (release), so the pool sees every read of the pixels done before it reuses them.
    std::atomic<bool> held{false};
};

XcbShmPool::XcbShmPool(const XcbConnection& connection) : connection_(connection) {}

XcbShmPool::~XcbShmPool() {
    for (const auto& slot : slots_) {
        slot->segment->detach();
    }
}

std::expected<std::optional<XcbShmPool::Lease>, Error> XcbShmPool::lease(size_t size) {
    const auto isFree = [](const std::shared_ptr<Slot>& slot) {
        return !slot->held.load(std::memory_order_acquire);
    };
    auto free = std::find_if(slots_.begin(), slots_.end(), [&](const std::shared_ptr<Slot>& slot) {
        return slot->segment->size() == size && isFree(slot);
    });
    std::shared_ptr<Slot> slot = free != slots_.end() ? *free : nullptr;
    // No spare segment is kept: one is enough while the writer keeps up, and another
    // made while it lagged would otherwise stay for good. Segments of another size
    // (the display changed) go too, held or not.
    std::erase_if(slots_, [&](const std::shared_ptr<Slot>& other) {
        if (other == slot || (other->segment->size() == size && !isFree(other))) {
            return false;
        }
        other->segment->detach();
        return true;
    });
    if (!slot) {
        if (slots_.size() >= kMostSegments) {
            return std::nullopt;
        }
        auto created = XcbShmSegment::create(connection_, size);
        if (!created) {
            return std::unexpected(created.error());
        }
        slot = slots_.emplace_back(std::make_shared<Slot>(std::move(*created)));
    }
    slot->held.store(true, std::memory_order_relaxed);
    std::shared_ptr<const void> keeper(slot->segment->data(), [slot](const void*) {
        slot->held.store(false, std::memory_order_release);
    });
    return Lease{slot->segment.get(), std::move(keeper)};
}

}  // namespace vx::platform::linux_
