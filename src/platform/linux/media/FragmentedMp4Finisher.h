#pragma once

#include <expected>

#include "platform/Types.h"
#include "platform/linux/media/LockedMovieFile.h"

struct AVFormatContext;

namespace vx::platform::linux_ {

// Turns a fragmented movie (MPEG-4 or QuickTime, picture and sound) into a
// regular one: fragmented files play here but lose their duration and seeking
// in some players elsewhere, so they are only the crash-safe form of a movie
// while it is written.
class FragmentedMp4Finisher {
  public:
    // The movflags of a movie this finishes. frag_custom: a fragment ends where
    // the writer says. empty_moov: the header is complete before the first
    // frame. default_base_moof: fragment offsets are relative to their own
    // moof, so a fragment reads alone.
    static constexpr const char* kWriterFlags = "frag_custom+empty_moov+default_base_moof";
    // Writes the header of such a movie; FFmpeg's result code.
    static int writeHeader(AVFormatContext* format);

    // Copies every whole frame of every track of `file` (stream copy, no
    // re-encoding) into a regular movie of the same container with its index
    // in front, written beside it, synced, and renamed over it. On failure
    // `file` is left exactly as it was.
    static std::expected<void, Error> finalise(const LockedMovieFile& file);
    // Whether `file` is named like the copy finalise() writes. The copy is
    // locked while it is written, so an unlocked one was abandoned by a crash.
    static bool isCopyName(const std::filesystem::path& file);
};

}  // namespace vx::platform::linux_
