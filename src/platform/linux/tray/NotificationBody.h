#pragma once

#include <string>
#include <string_view>

namespace vx::platform::linux_ {

// The body as a notification server is given it. A long one is cut to at most
// 400 characters, at a character boundary, with "…" where text was left out;
// its last line (the movie's file name, after a line feed) stays whole while
// it leaves the message room. Bytes that are not UTF-8 become U+FFFD, which
// the bus would otherwise refuse to carry. For a server that reads markup,
// "&", "<" and ">" are escaped so that they show as written.
std::string notificationBody(std::string_view text, bool serverReadsMarkup);

}  // namespace vx::platform::linux_
