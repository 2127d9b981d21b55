#include "platform/linux/image/PixelPool.h"

#include <mutex>
#include <utility>
#include <vector>

namespace vx::platform::linux_ {

struct PixelPool::Shelf {
    explicit Shelf(size_t kept) : keptFree(kept) {}

    // A block of `size` bytes: one put back, or a new one.
    std::unique_ptr<uint8_t[]> take(size_t size) {
        {
            std::lock_guard lock(mutex);
            if (blockSize != size) {
                // The pictures changed size: the blocks kept so far fit no more.
                free.clear();
                blockSize = size;
            } else if (!free.empty()) {
                auto block = std::move(free.back());
                free.pop_back();
                return block;
            }
        }
        return std::unique_ptr<uint8_t[]>(new uint8_t[size]);  // uncleared: every byte is written
    }

    void putBack(std::unique_ptr<uint8_t[]> block, size_t size) {
        std::lock_guard lock(mutex);
        if (size == blockSize && free.size() < keptFree) {
            free.push_back(std::move(block));
        }
    }

    const size_t keptFree;
    std::mutex mutex;
    // Guarded by mutex.
    size_t blockSize = 0;
    std::vector<std::unique_ptr<uint8_t[]>> free;
};

PixelPool::PixelPool(size_t keptFree) : shelf_(std::make_shared<Shelf>(keptFree)) {}

PixelPool::Picture PixelPool::take(int width, int height) {
    const ptrdiff_t stride = ptrdiff_t(width) * 4;
    const size_t size = size_t(stride) * size_t(height);
    uint8_t* block = shelf_->take(size).release();
    // Should the keeper itself fail to be made, the deleter still puts the block back.
    std::shared_ptr<const void> keeper(block, [shelf = shelf_, size](const void* pixels) {
        shelf->putBack(std::unique_ptr<uint8_t[]>(static_cast<uint8_t*>(const_cast<void*>(pixels))),
                       size);
    });
    return {{block, width, height, stride},
            {width, height, stride, PixelBytes(block, size, std::move(keeper))}};
}

}  // namespace vx::platform::linux_
