#pragma once

#include <cstdint>
#include <expected>
#include <memory>
#include <vector>

#include "platform/Types.h"
#include "platform/linux/image/ImageView.h"
#include "platform/linux/media/realtime/FrameQueue.h"

struct SwsContext;

namespace vx::platform::linux_ {

// Screen images of one size to YUV 4:2:0 pictures of the recording's size, in
// one pass: scaling and colour conversion together cost less than either apart.
class RealtimeFrameScaler {
  public:
    static std::expected<std::unique_ptr<RealtimeFrameScaler>, Error> open(int sourceWidth,
                                                                           int sourceHeight,
                                                                           int width, int height);
    // Keeps `scaler` when it takes pictures of the source's size, else puts a
    // new one in its place: the source may change its size while it is recorded.
    static std::expected<void, Error> fit(std::unique_ptr<RealtimeFrameScaler>& scaler,
                                          int sourceWidth, int sourceHeight, int width, int height);
    ~RealtimeFrameScaler();
    RealtimeFrameScaler(const RealtimeFrameScaler&) = delete;
    RealtimeFrameScaler& operator=(const RealtimeFrameScaler&) = delete;

    bool takes(int sourceWidth, int sourceHeight) const {
        return sourceWidth == sourceWidth_ && sourceHeight == sourceHeight_;
    }
    // A new picture of `source`, which must have the size given to open().
    std::expected<AvFramePtr, Error> convert(ConstImageView source);

  private:
    RealtimeFrameScaler(int sourceWidth, int sourceHeight, int width, int height,
                        SwsContext* scaler);

    int sourceWidth_;
    int sourceHeight_;
    int width_;
    int height_;
    SwsContext* scaler_;
    std::vector<uint8_t> tail_;  // the last rows, padded; see convert()
};

}  // namespace vx::platform::linux_
