#pragma once

#include <condition_variable>
#include <cstdint>
#include <expected>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/Types.h"
#include "platform/linux/image/PixelPool.h"
#include "platform/linux/wayland/UniqueFd.h"

struct spa_pod;

namespace vx::platform::linux_ {

// Pictures of one PipeWire video node, kept as the newest one only: readers ask
// for the screen as it is, never for a backlog. The compositor's shared-memory
// buffers (BGRx, BGRA, RGBx or RGBA) are copied, as BGRX pictures, into blocks
// that come back once no reader holds them. PipeWire calls in on a thread of its
// own; every reader may use any thread.
class PipeWireStream {
  public:
    // `remote` is a connection to PipeWire that shows `node`; pictures come at
    // no more than `maxFrameRate` a second.
    static std::expected<std::unique_ptr<PipeWireStream>, Error> open(UniqueFd remote,
                                                                      uint32_t node,
                                                                      int maxFrameRate);
    ~PipeWireStream();
    PipeWireStream(const PipeWireStream&) = delete;
    PipeWireStream& operator=(const PipeWireStream&) = delete;

    // The newest picture, waiting a while for the first one: the compositor
    // sends it once it has drawn the screen, which a loaded machine without a
    // GPU may take seconds to do. Fails once the stream has ended, with why.
    std::expected<std::shared_ptr<const PixelBuffer>, Error> newest();

  private:
    struct Format {
        uint32_t videoFormat = 0;
        int width = 0;
        int height = 0;
    };

    // PipeWire's objects and the hooks it calls us through.
    struct Native;
    friend struct Native;

    PipeWireStream();
    std::expected<void, Error> connect(UniqueFd remote, uint32_t node, int maxFrameRate);
    void end(std::string why);
    void takeFormat(const struct spa_pod* param);
    void takeNewest();

    std::unique_ptr<Native> native_;
    Format format_;  // used on PipeWire's thread only
    PixelPool pictures_;

    std::mutex mutex_;
    std::condition_variable arrived_;
    // Guarded by mutex_.
    std::shared_ptr<const PixelBuffer> newest_;
    std::optional<std::string> ended_;
};

}  // namespace vx::platform::linux_
