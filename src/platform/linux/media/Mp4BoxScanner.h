#pragma once

#include <cstdint>

namespace vx::platform::linux_ {

// Reads the box headers of an MPEG-4 file, never its media data: enough to
// tell a fragmented movie from a regular one, and where a fragmented movie
// cut short by a crash stops being whole.
class Mp4BoxScanner {
  public:
    struct Fragments {
        int64_t count = 0;           // complete moof+mdat pairs
        int64_t completeLength = 0;  // bytes up to the end of the last whole box
    };

    // True when the file starts with ftyp and its moov holds an mvex box.
    static bool isFragmented(int fd);
    // Walks every top-level box; a torn last fragment (moof without its whole
    // mdat) and anything after it fall outside completeLength.
    static Fragments completeFragments(int fd);
};

}  // namespace vx::platform::linux_
