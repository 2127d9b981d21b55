#include "platform/linux/tray/NotificationBody.h"

#include <glib.h>

namespace vx::platform::linux_ {

namespace {

// About six lines of a notification bubble; a server shows a few of them.
constexpr glong kLongest = 400;
constexpr std::string_view kEllipsis = "…";

std::string validUtf8(std::string_view text) {
    gchar* valid = g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()));
    std::string result = valid;
    g_free(valid);
    return result;
}

glong characters(std::string_view text) {
    return g_utf8_strlen(text.data(), static_cast<gssize>(text.size()));
}

// The first `count` characters of valid UTF-8 `text`.
std::string_view firstCharacters(std::string_view text, glong count) {
    const gchar* end = g_utf8_offset_to_pointer(text.data(), count);
    return text.substr(0, static_cast<size_t>(end - text.data()));
}

std::string shortened(std::string_view text) {
    if (characters(text) <= kLongest) {
        return std::string(text);
    }
    const size_t lastLineFeed = text.rfind('\n');
    if (lastLineFeed != std::string_view::npos) {
        const std::string_view lastLine = text.substr(lastLineFeed);
        // A file name takes at most half, so that the message keeps the rest.
        if (characters(lastLine) <= kLongest / 2) {
            const std::string_view message = text.substr(0, lastLineFeed);
            return std::string(firstCharacters(message, kLongest - 1 - characters(lastLine))) +
                   std::string(kEllipsis) + std::string(lastLine);
        }
    }
    return std::string(firstCharacters(text, kLongest - 1)) + std::string(kEllipsis);
}

std::string escapedMarkup(std::string_view text) {
    std::string escaped;
    for (char c : text) {
        switch (c) {
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

}  // namespace

std::string notificationBody(std::string_view text, bool serverReadsMarkup) {
    const std::string body = shortened(validUtf8(text));
    return serverReadsMarkup ? escapedMarkup(body) : body;
}

}  // namespace vx::platform::linux_
