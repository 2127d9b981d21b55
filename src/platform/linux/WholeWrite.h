#pragma once

#include <string_view>

namespace vx::platform::linux_ {

// Writes all of `text` to the stream `fd`, in one write(2) when the stream
// takes it whole, so that lines from several processes sharing the stream
// never interleave mid-line. A closed or broken stream drops the rest:
// nobody is left to read it.
void writeWhole(int fd, std::string_view text);

}  // namespace vx::platform::linux_
