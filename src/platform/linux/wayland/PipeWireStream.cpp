#include "platform/linux/wayland/PipeWireStream.h"

#include <pipewire/pipewire.h>
#include <spa/param/video/format-utils.h>

#include <chrono>
#include <cstring>
#include <mutex>

#include "platform/linux/wayland/ScreenCastErrors.h"

namespace vx::platform::linux_ {

namespace {

constexpr int kLargestSide = 16384;
constexpr auto kFirstPictureWait = std::chrono::seconds(10);

void initialisePipeWireOnce() {
    static std::once_flag once;
    std::call_once(once, [] { pw_init(nullptr, nullptr); });
}

// Free pictures kept for the next frames: the newest is replaced many times a
// second, and a reader may still hold the one before.
constexpr size_t kPicturesKept = 2;

// Writes one row of `format` pixels as BGRX.
void copyRow(uint32_t format, const uint8_t* from, uint8_t* to, int width) {
    const bool swapsRedBlue = format == SPA_VIDEO_FORMAT_RGBx || format == SPA_VIDEO_FORMAT_RGBA;
    if (!swapsRedBlue) {
        std::memcpy(to, from, size_t(width) * 4);
        return;
    }
    for (int x = 0; x < width; ++x) {
        to[4 * x] = from[4 * x + 2];
        to[4 * x + 1] = from[4 * x + 1];
        to[4 * x + 2] = from[4 * x];
        to[4 * x + 3] = 255;
    }
}

}  // namespace

struct PipeWireStream::Native {
    pw_thread_loop* loop = nullptr;
    pw_context* context = nullptr;
    pw_core* core = nullptr;
    pw_stream* stream = nullptr;
    pw_registry* registry = nullptr;
    uint32_t node = 0;
    spa_hook coreListener{};
    spa_hook streamListener{};
    spa_hook registryListener{};
    pw_core_events coreEvents{};
    pw_stream_events streamEvents{};
    pw_registry_events registryEvents{};

    static void onStateChanged(void* self, pw_stream_state, pw_stream_state state,
                               const char* error) {
        if (state == PW_STREAM_STATE_ERROR) {
            static_cast<PipeWireStream*>(self)->end(std::string("The screen cast failed: ") +
                                                    (error ? error : "unknown error") + ".");
        } else if (state == PW_STREAM_STATE_UNCONNECTED) {
            static_cast<PipeWireStream*>(self)->end(
                "The screen cast ended: the monitor is gone or sharing was stopped.");
        }
    }
    static void onParamChanged(void* self, uint32_t id, const spa_pod* param) {
        if (param != nullptr && id == SPA_PARAM_Format) {
            static_cast<PipeWireStream*>(self)->takeFormat(param);
        }
    }
    // The stream itself only pauses when the compositor takes the node away.
    static void onGlobalRemoved(void* self, uint32_t id) {
        auto* stream = static_cast<PipeWireStream*>(self);
        if (id == stream->native_->node) {
            stream->end("The screen cast ended: the monitor is gone or sharing was stopped.");
        }
    }
    static void onProcess(void* self) { static_cast<PipeWireStream*>(self)->takeNewest(); }
    static void onCoreError(void* self, uint32_t id, int, int, const char* message) {
        if (id == PW_ID_CORE) {
            static_cast<PipeWireStream*>(self)->end(std::string("The screen cast ended: ") +
                                                    (message ? message : "PipeWire failed") + ".");
        }
    }
};

PipeWireStream::PipeWireStream() : native_(std::make_unique<Native>()), pictures_(kPicturesKept) {}

std::expected<std::unique_ptr<PipeWireStream>, Error> PipeWireStream::open(UniqueFd remote,
                                                                           uint32_t node,
                                                                           int maxFrameRate) {
    initialisePipeWireOnce();
    std::unique_ptr<PipeWireStream> made(new PipeWireStream());
    if (auto connected = made->connect(std::move(remote), node, maxFrameRate); !connected) {
        return std::unexpected(connected.error());
    }
    return made;
}

std::expected<void, Error> PipeWireStream::connect(UniqueFd remote, uint32_t node,
                                                   int maxFrameRate) {
    Native& n = *native_;
    n.loop = pw_thread_loop_new("vx-screencast", nullptr);
    if (n.loop == nullptr) {
        return std::unexpected(
            screenCastError(ScreenCastErrorCode::streamEnded, "PipeWire could not be started."));
    }
    n.context = pw_context_new(pw_thread_loop_get_loop(n.loop), nullptr, 0);
    if (n.context == nullptr || pw_thread_loop_start(n.loop) < 0) {
        return std::unexpected(
            screenCastError(ScreenCastErrorCode::streamEnded, "PipeWire could not be started."));
    }
    pw_thread_loop_lock(n.loop);
    // The core owns the descriptor from here, on success or not.
    n.core = pw_context_connect_fd(n.context, remote.release(), nullptr, 0);
    if (n.core == nullptr) {
        pw_thread_loop_unlock(n.loop);
        return std::unexpected(screenCastError(ScreenCastErrorCode::streamEnded,
                                               "The screen cast could not reach PipeWire."));
    }
    n.coreEvents.version = PW_VERSION_CORE_EVENTS;
    n.coreEvents.error = Native::onCoreError;
    pw_core_add_listener(n.core, &n.coreListener, &n.coreEvents, this);
    n.node = node;
    n.registry = pw_core_get_registry(n.core, PW_VERSION_REGISTRY, 0);
    n.registryEvents.version = PW_VERSION_REGISTRY_EVENTS;
    n.registryEvents.global_remove = Native::onGlobalRemoved;
    pw_registry_add_listener(n.registry, &n.registryListener, &n.registryEvents, this);

    n.stream = pw_stream_new(
        n.core, "Ventilux",
        pw_properties_new(PW_KEY_NODE_NAME, "ventilux", PW_KEY_MEDIA_TYPE, "Video",
                          PW_KEY_MEDIA_CATEGORY, "Capture", PW_KEY_MEDIA_ROLE, "Screen", nullptr));
    n.streamEvents.version = PW_VERSION_STREAM_EVENTS;
    n.streamEvents.state_changed = Native::onStateChanged;
    n.streamEvents.param_changed = Native::onParamChanged;
    n.streamEvents.process = Native::onProcess;
    pw_stream_add_listener(n.stream, &n.streamListener, &n.streamEvents, this);

    uint8_t buffer[1024];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof(buffer));
    spa_rectangle defaultSize = SPA_RECTANGLE(1920, 1080);
    spa_rectangle smallest = SPA_RECTANGLE(1, 1);
    spa_rectangle largest = SPA_RECTANGLE(kLargestSide, kLargestSide);
    spa_fraction defaultRate = SPA_FRACTION(uint32_t(maxFrameRate), 1);
    spa_fraction slowest = SPA_FRACTION(0, 1);
    spa_fraction fastest = SPA_FRACTION(uint32_t(maxFrameRate), 1);
    const spa_pod* params[1];
    params[0] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
        SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype,
        SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format,
        SPA_POD_CHOICE_ENUM_Id(5, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx,
                               SPA_VIDEO_FORMAT_BGRA, SPA_VIDEO_FORMAT_RGBx, SPA_VIDEO_FORMAT_RGBA),
        SPA_FORMAT_VIDEO_size, SPA_POD_CHOICE_RANGE_Rectangle(&defaultSize, &smallest, &largest),
        SPA_FORMAT_VIDEO_framerate,
        SPA_POD_CHOICE_RANGE_Fraction(&defaultRate, &slowest, &fastest)));
    const int connected = pw_stream_connect(
        n.stream, PW_DIRECTION_INPUT, node,
        // Never to another node: a recording of some other picture would be worse than none.
        static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS |
                                     PW_STREAM_FLAG_DONT_RECONNECT),
        params, 1);
    pw_thread_loop_unlock(n.loop);
    if (connected < 0) {
        return std::unexpected(screenCastError(ScreenCastErrorCode::streamEnded,
                                               "The screen cast could not be connected."));
    }
    return {};
}

PipeWireStream::~PipeWireStream() {
    Native& n = *native_;
    if (n.loop != nullptr) {
        pw_thread_loop_stop(n.loop);
    }
    if (n.stream != nullptr) {
        pw_stream_destroy(n.stream);
    }
    if (n.registry != nullptr) {
        pw_proxy_destroy(reinterpret_cast<pw_proxy*>(n.registry));
    }
    if (n.core != nullptr) {
        pw_core_disconnect(n.core);
    }
    if (n.context != nullptr) {
        pw_context_destroy(n.context);
    }
    if (n.loop != nullptr) {
        pw_thread_loop_destroy(n.loop);
    }
}

void PipeWireStream::end(std::string why) {
    {
        std::lock_guard lock(mutex_);
        if (!ended_) {
            ended_ = std::move(why);
        }
    }
    arrived_.notify_all();
}

void PipeWireStream::takeFormat(const spa_pod* param) {
    uint32_t mediaType = 0;
    uint32_t mediaSubtype = 0;
    spa_video_info_raw info{};
    if (spa_format_parse(param, &mediaType, &mediaSubtype) < 0 ||
        mediaType != SPA_MEDIA_TYPE_video || mediaSubtype != SPA_MEDIA_SUBTYPE_raw ||
        spa_format_video_raw_parse(param, &info) < 0) {
        return;
    }
    format_ = {info.format, int(info.size.width), int(info.size.height)};
    // Only memory we can read: no GPU buffers, which would need a GPU to map.
    uint8_t buffer[256];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof(buffer));
    const spa_pod* params[1];
    params[0] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_dataType,
        SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemFd) | (1 << SPA_DATA_MemPtr))));
    pw_stream_update_params(native_->stream, params, 1);
}

void PipeWireStream::takeNewest() {
    pw_stream* stream = native_->stream;
    // Only the newest of what is waiting is worth a copy.
    pw_buffer* newest = nullptr;
    while (pw_buffer* next = pw_stream_dequeue_buffer(stream)) {
        if (newest != nullptr) {
            pw_stream_queue_buffer(stream, newest);
        }
        newest = next;
    }
    if (newest == nullptr) {
        return;
    }
    const spa_buffer* buffer = newest->buffer;
    const Format format = format_;
    if (buffer->n_datas > 0 && format.width > 0 && format.height > 0) {
        const spa_data& data = buffer->datas[0];
        const spa_chunk& chunk = *data.chunk;
        const int64_t stride = chunk.stride > 0 ? chunk.stride : int64_t(format.width) * 4;
        const uint64_t needed = uint64_t(chunk.offset) + uint64_t(stride) * (format.height - 1) +
                                uint64_t(format.width) * 4;
        if (data.data != nullptr && (chunk.flags & SPA_CHUNK_FLAG_CORRUPTED) == 0 &&
            chunk.size > 0 && stride >= int64_t(format.width) * 4 && needed <= data.maxsize) {
            PixelPool::Picture taken = pictures_.take(format.width, format.height);
            const auto* from = static_cast<const uint8_t*>(data.data) + chunk.offset;
            for (int y = 0; y < format.height; ++y) {
                copyRow(format.videoFormat, from + y * stride, taken.pixels.row(y), format.width);
            }
            auto picture = std::make_shared<const PixelBuffer>(std::move(taken.picture));
            {
                std::lock_guard lock(mutex_);
                newest_ = std::move(picture);
            }
            arrived_.notify_all();
        }
    }
    pw_stream_queue_buffer(stream, newest);
}

std::expected<std::shared_ptr<const PixelBuffer>, Error> PipeWireStream::newest() {
    std::unique_lock lock(mutex_);
    arrived_.wait_for(lock, kFirstPictureWait, [this] { return newest_ != nullptr || ended_; });
    if (ended_) {
        return std::unexpected(screenCastError(ScreenCastErrorCode::streamEnded, *ended_));
    }
    if (newest_ == nullptr) {
        return std::unexpected(screenCastError(ScreenCastErrorCode::noPicture,
                                               "The screen cast has not sent a picture yet."));
    }
    return newest_;
}

}  // namespace vx::platform::linux_
