#include "platform/linux/media/FfmpegErrors.h"

#include <string>
#include <system_error>

extern "C" {
#include <libavutil/error.h>
}

namespace vx::platform::linux_ {

namespace {

Error sentence(const char* domain, int code, std::string_view what, const std::string& cause) {
    return Error{domain, code, std::string(what) + ": " + cause + "."};
}

}  // namespace

Error posixError(int errnum, std::string_view what) {
    // std::generic_category is thread-safe where strerror is not.
    return sentence(kPosixErrorDomain, errnum, what, std::generic_category().message(errnum));
}

Error ffmpegError(int averror, std::string_view what) {
    // AVERROR(e) is -e for every errno value; FFmpeg's own codes are far below.
    if (averror < 0 && averror > -4096) {
        return posixError(-averror, what);
    }
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(averror, text, sizeof text);
    return sentence(kFfmpegErrorDomain, averror, what, text);
}

}  // namespace vx::platform::linux_
