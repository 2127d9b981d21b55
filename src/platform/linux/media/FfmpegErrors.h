#pragma once

#include <string_view>

#include "platform/Types.h"

namespace vx::platform::linux_ {

inline constexpr const char* kFfmpegErrorDomain = "FFmpeg";
inline constexpr const char* kPosixErrorDomain = "POSIX";

// "<what>: <the system's text for errnum>." — e.g. "Cannot create /x/y.mp4:
// Permission denied."
Error posixError(int errnum, std::string_view what);

// The same sentence for a negative AVERROR code. Codes that wrap an errno
// (AVERROR(ENOSPC)) come out in the POSIX domain, so that a full disk reads
// the same whichever layer noticed it.
Error ffmpegError(int averror, std::string_view what);

}  // namespace vx::platform::linux_
