#pragma once

#include <expected>
#include <functional>

#include "platform/Types.h"

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace vx::platform::linux_ {

using PacketSink = std::function<std::expected<void, Error>(AVPacket& packet)>;

// Hands `frame` to the encoder (none: drain it) and every packet that comes out
// to `sink`, through the caller's scratch `packet`. `failure` begins the error
// sentence when the encoder refuses.
std::expected<void, Error> pumpPackets(AVCodecContext* encoder, AVPacket* packet,
                                       const AVFrame* frame, const PacketSink& sink,
                                       const char* failure);

}  // namespace vx::platform::linux_
