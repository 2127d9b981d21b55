#include "platform/linux/store/LinuxDefaultsFile.h"

#include <charconv>
#include <cmath>
#include <cstdint>

namespace vx::platform::linux_ {

namespace {

constexpr std::string_view kHeader =
    "# Ventilux settings, one per line as key=type:value (double, int, bool or string)";
constexpr std::string_view kGroup = "[settings]";
constexpr std::string_view kSpace = " \t";

// The length of the well-formed UTF-8 sequence starting at `at`, or 0.
size_t utf8SequenceLength(std::string_view text, size_t at) {
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
    const uint8_t lead = byte(at);
    if (lead < 0x80) {
        return 1;
    }
    size_t length = 0;
    uint8_t min = 0x80, max = 0xBF;  // bounds of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        min = lead == 0xE0 ? 0xA0 : 0x80;  // no overlong forms
        max = lead == 0xED ? 0x9F : 0xBF;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        min = lead == 0xF0 ? 0x90 : 0x80;
        max = lead == 0xF4 ? 0x8F : 0xBF;  // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (at + length > text.size() || byte(at + 1) < min || byte(at + 1) > max) {
        return 0;
    }
    for (size_t i = at + 2; i < at + length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF) {
            return 0;
        }
    }
    return length;
}

bool isTextBytes(std::string_view bytes) {
    for (size_t at = 0; at < bytes.size();) {
        const size_t length = utf8SequenceLength(bytes, at);
        if (length == 0 || bytes[at] == '\0') {
            return false;
        }
        at += length;
    }
    return true;
}

std::string_view trimmed(std::string_view text) {
    const size_t start = text.find_first_not_of(kSpace);
    if (start == std::string_view::npos) {
        return {};
    }
    return text.substr(start, text.find_last_not_of(kSpace) - start + 1);
}

void appendHexEscape(std::string& out, uint8_t byte) {
    constexpr char kDigits[] = "0123456789abcdef";
    out += "\\x";
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0xF];
}

std::string escaped(std::string_view text) {
    std::string out;
    for (size_t at = 0; at < text.size();) {
        const char c = text[at];
        const size_t length = utf8SequenceLength(text, at);
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (length == 0 || static_cast<uint8_t>(c) < 0x20 || c == 0x7F) {
            appendHexEscape(out, static_cast<uint8_t>(c));
        } else {
            out.append(text.substr(at, length));
            at += length;
            continue;
        }
        ++at;
    }
    return out;
}

std::optional<std::string> unescaped(std::string_view text) {
    std::string out;
    for (size_t at = 0; at < text.size(); ++at) {
        if (text[at] != '\\') {
            out += text[at];
            continue;
        }
        if (++at == text.size()) {
            return std::nullopt;
        }
        switch (text[at]) {
            case '\\':
                out += '\\';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'x': {
                uint8_t byte = 0;
                const char* first = text.data() + at + 1;
                if (at + 2 >= text.size() ||
                    std::from_chars(first, first + 2, byte, 16).ptr != first + 2) {
                    return std::nullopt;
                }
                out += static_cast<char>(byte);
                at += 2;
                break;
            }
            default:
                return std::nullopt;
        }
    }
    return out;
}

template <typename Number>
std::optional<Number> wholeNumber(std::string_view text) {
    Number parsed{};
    const auto result = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (text.empty() || result.ec != std::errc{} || result.ptr != text.data() + text.size()) {
        return std::nullopt;
    }
    return parsed;
}

std::optional<double> finiteDouble(std::string_view text) {
    auto parsed = wholeNumber<double>(text);
    if (parsed && !std::isfinite(*parsed)) {
        return std::nullopt;
    }
    return parsed;
}

std::optional<bool> boolean(std::string_view text) {
    if (text == "true") {
        return true;
    }
    if (text == "false") {
        return false;
    }
    return std::nullopt;
}

std::optional<DefaultsValue> parsedValue(std::string_view text) {
    text.remove_prefix(std::min(text.find_first_not_of(kSpace), text.size()));
    const auto typed = [&](std::string_view type) {
        if (!text.starts_with(type)) {
            return false;
        }
        text.remove_prefix(type.size());
        return true;
    };
    // A string keeps every character after its type, spaces included.
    if (typed("string:")) {
        return unescaped(text);
    }
    std::optional<DefaultsValue> value;
    if (typed("double:")) {
        if (auto parsed = finiteDouble(trimmed(text))) {
            value = *parsed;
        }
    } else if (typed("int:")) {
        if (auto parsed = wholeNumber<int64_t>(trimmed(text))) {
            value = *parsed;
        }
    } else if (typed("bool:")) {
        if (auto parsed = boolean(trimmed(text))) {
            value = *parsed;
        }
    } else if (auto b = boolean(trimmed(text))) {
        value = *b;
    } else if (auto i = wholeNumber<int64_t>(trimmed(text))) {
        value = *i;
    } else if (auto d = finiteDouble(trimmed(text))) {
        value = *d;
    }
    return value;
}

std::string encodedValue(const DefaultsValue& value) {
    if (const double* d = std::get_if<double>(&value)) {
        char buffer[64];
        return "double:" + std::string(buffer, std::to_chars(buffer, buffer + 64, *d).ptr);
    }
    if (const int64_t* i = std::get_if<int64_t>(&value)) {
        return "int:" + std::to_string(*i);
    }
    if (const bool* b = std::get_if<bool>(&value)) {
        return *b ? "bool:true" : "bool:false";
    }
    return "string:" + escaped(std::get<std::string>(value));
}

bool keyFitsOnALine(std::string_view key) {
    if (key.empty() || key.front() == '#' || key.front() == '[' || key != trimmed(key)) {
        return false;
    }
    for (char c : key) {
        if (c == '=' || static_cast<uint8_t>(c) < 0x20) {
            return false;
        }
    }
    return isTextBytes(key);
}

}  // namespace

LinuxDefaultsFile LinuxDefaultsFile::parse(std::string_view bytes) {
    LinuxDefaultsFile file;
    file.isText_ = isTextBytes(bytes);
    while (!bytes.empty()) {
        const size_t end = bytes.find('\n');
        Line line{std::string(bytes.substr(0, end)), std::nullopt, std::nullopt};
        bytes.remove_prefix(end == std::string_view::npos ? bytes.size() : end + 1);

        std::string_view content = line.raw;
        if (content.ends_with('\r')) {
            content.remove_suffix(1);
        }
        const size_t equals = content.find('=');
        const std::string_view key = trimmed(content.substr(0, equals));
        if (equals != std::string_view::npos && keyFitsOnALine(key)) {
            line.key = std::string(key);
            if (isTextBytes(content)) {
                line.value = parsedValue(content.substr(equals + 1));
            }
        }
        file.lines_.push_back(std::move(line));
    }
    return file;
}

std::optional<DefaultsValue> LinuxDefaultsFile::value(const std::string& key) const {
    for (auto line = lines_.rbegin(); line != lines_.rend(); ++line) {
        if (line->key == key) {
            return line->value;
        }
    }
    return std::nullopt;
}

bool LinuxDefaultsFile::set(const std::string& key, const DefaultsValue& value) {
    if (!keyFitsOnALine(key)) {
        return false;
    }
    Line written{key + "=" + encodedValue(value), key, value};
    for (auto line = lines_.rbegin(); line != lines_.rend(); ++line) {
        if (line->key == key) {
            *line = std::move(written);
            return true;
        }
    }
    if (lines_.empty()) {
        lines_.push_back({std::string(kHeader), std::nullopt, std::nullopt});
        lines_.push_back({std::string(kGroup), std::nullopt, std::nullopt});
    }
    lines_.push_back(std::move(written));
    return true;
}

std::string LinuxDefaultsFile::text() const {
    std::string out;
    for (const Line& line : lines_) {
        out += line.raw;
        out += '\n';
    }
    return out;
}

LinuxDefaultsFile LinuxDefaultsFile::readableSettingsOnly() const {
    LinuxDefaultsFile fresh;
    for (const Line& line : lines_) {
        if (!line.key) {
            continue;
        }
        if (auto readable = value(*line.key)) {
            fresh.set(*line.key, *readable);
        }
    }
    return fresh;
}

}  // namespace vx::platform::linux_
