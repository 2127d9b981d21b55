#pragma once

#include <cstdint>
#include <expected>
#include <memory>
#include <vector>

#include "platform/Types.h"
#include "platform/linux/image/ImageView.h"
#include "platform/linux/media/realtime/FrameQueue.h"

struct AVBufferPool;
struct SwsContext;

namespace vx::platform::linux_ {

// Screen images of one size to YUV 4:2:0 pictures of the recording's size, in
// one pass: scaling and colour conversion together cost less than either apart.
// Pictures come from a pool: one goes back to it when the last holder (the
// queue, the encoder) lets go, so a recording allocates nothing per frame.
class RealtimeFrameScaler {
  public:
    static std::expected<std::unique_ptr<RealtimeFrameScaler>, Error> open(int sourceWidth,
                                                                           int sourceHeight,
                                                                           int width, int height);
    // Keeps `scaler` when it takes pictures of the source's size, else puts a
    // new one in its place: the source may change its size while it is recorded.
    static std::expected<void, Error> fit(std::unique_ptr<RealtimeFrameScaler>& scaler,
                                          int sourceWidth, int sourceHeight, int width, int height);
    // Pictures still held elsewhere stay valid; the pool goes with the last of them.
    ~RealtimeFrameScaler();
    RealtimeFrameScaler(const RealtimeFrameScaler&) = delete;
    RealtimeFrameScaler& operator=(const RealtimeFrameScaler&) = delete;

    bool takes(int sourceWidth, int sourceHeight) const {
        return sourceWidth == sourceWidth_ && sourceHeight == sourceHeight_;
    }
    // A picture of `source`, which must have the size given to open().
    std::expected<AvFramePtr, Error> convert(ConstImageView source);

  private:
    RealtimeFrameScaler(int sourceWidth, int sourceHeight, int width, int height,
                        SwsContext* scaler, AVBufferPool* pool);
    std::expected<AvFramePtr, Error> pooledFrame();

    int sourceWidth_;
    int sourceHeight_;
    int width_;
    int height_;
    SwsContext* scaler_;  // none when the picture keeps the source's size
    AVBufferPool* pool_;
    std::vector<uint8_t> tail_;  // the last rows, padded; see BgraToYuv::scale
};

}  // namespace vx::platform::linux_
