#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/DefaultsStore.h"

namespace vx::platform::linux_ {

// The text of the settings file: one "key=type:value" line per setting, the
// type one of double, int, bool or string ("captureInterval=double:2.5").
// Strings are escaped so that any byte string round-trips and the file stays
// valid UTF-8. Reading is line by line and forgiving: a line that cannot be
// read (a typo, a number out of range, NaN, junk) only hides its own key, and
// is written back exactly as it was found, so that one bad line never costs
// the user the others. Hand-written values without a type are accepted when
// they are plainly a boolean or a number.
class LinuxDefaultsFile {
  public:
    static LinuxDefaultsFile parse(std::string_view bytes);

    // The value of the last line naming `key`; none when that line is unreadable.
    std::optional<DefaultsValue> value(const std::string& key) const;
    // Replaces the last line naming `key`, or appends one. False for a key that
    // a line cannot carry (empty, or holding '=', a line break or a leading
    // '#', '[' or space).
    bool set(const std::string& key, const DefaultsValue& value);
    std::string text() const;

    // False when the bytes were not text at all (a NUL byte or not UTF-8):
    // such a file is not carried forward line by line.
    bool isText() const { return isText_; }
    // A new file holding only the readable settings of this one.
    LinuxDefaultsFile readableSettingsOnly() const;

  private:
    struct Line {
        std::string raw;                     // as found or as written, without the line feed
        std::optional<std::string> key;      // set for every "key=..." line
        std::optional<DefaultsValue> value;  // set when the value could be read
    };

    std::vector<Line> lines_;
    bool isText_ = true;
};

}  // namespace vx::platform::linux_
