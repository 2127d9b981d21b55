#include "settings/StoredValue.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string_view>

namespace vx::StoredValue {

namespace {

using platform::DefaultsValue;

std::string_view skipLeadingSpace(std::string_view text) {
    const size_t start = text.find_first_not_of(" \t\n\r\f\v");
    return start == std::string_view::npos ? std::string_view{} : text.substr(start);
}

// The number a string begins with; the rest of the string is ignored.
double leadingDouble(std::string_view text) {
    text = skipLeadingSpace(text);
    if (text.starts_with('+')) {
        text.remove_prefix(1);
    }
    double parsed = 0;
    if (std::from_chars(text.data(), text.data() + text.size(), parsed).ec != std::errc{}) {
        return 0;
    }
    return parsed;
}

int64_t leadingInteger(std::string_view text) {
    text = skipLeadingSpace(text);
    if (text.starts_with('+')) {
        text.remove_prefix(1);
    }
    int64_t parsed = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (result.ec == std::errc::result_out_of_range) {
        return text.starts_with('-') ? std::numeric_limits<int64_t>::min()
                                     : std::numeric_limits<int64_t>::max();
    }
    return result.ec == std::errc{} ? parsed : 0;
}

// True when the string starts (after space, a sign and zeros) with Y, T or a
// digit from 1 to 9: "YES", "true", "1" and "007" are true; "no", "0" are not.
bool leadingBool(std::string_view text) {
    text = skipLeadingSpace(text);
    if (text.starts_with('+') || text.starts_with('-')) {
        text.remove_prefix(1);
    }
    const size_t first = text.find_first_not_of('0');
    if (first == std::string_view::npos) {
        return false;
    }
    const char c = text[first];
    return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
}

int64_t truncatedInteger(double value) {
    constexpr double kTwoTo63 = 9223372036854775808.0;
    if (std::isnan(value)) {
        return 0;
    }
    if (value >= kTwoTo63) {
        return std::numeric_limits<int64_t>::max();
    }
    if (value < -kTwoTo63) {
        return std::numeric_limits<int64_t>::min();
    }
    return static_cast<int64_t>(value);
}

std::string shortestText(double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

template <typename... Handlers>
struct Overloaded : Handlers... {
    using Handlers::operator()...;
};

}  // namespace

double asDouble(const std::optional<DefaultsValue>& stored) {
    if (!stored) {
        return 0;
    }
    const double value = std::visit(Overloaded{
                                        [](double d) { return d; },
                                        [](int64_t i) { return static_cast<double>(i); },
                                        [](bool b) { return b ? 1.0 : 0.0; },
                                        [](const std::string& s) { return leadingDouble(s); },
                                    },
                                    *stored);
    return std::isfinite(value) ? value : 0;
}

int64_t asInteger(const std::optional<DefaultsValue>& stored) {
    if (!stored) {
        return 0;
    }
    return std::visit(Overloaded{
                          [](double d) { return truncatedInteger(d); },
                          [](int64_t i) { return i; },
                          [](bool b) { return int64_t{b ? 1 : 0}; },
                          [](const std::string& s) { return leadingInteger(s); },
                      },
                      *stored);
}

bool asBool(const std::optional<DefaultsValue>& stored) {
    if (!stored) {
        return false;
    }
    return std::visit(Overloaded{
                          [](double d) { return d != 0 && !std::isnan(d); },
                          [](int64_t i) { return i != 0; },
                          [](bool b) { return b; },
                          [](const std::string& s) { return leadingBool(s); },
                      },
                      *stored);
}

std::optional<std::string> asString(const std::optional<DefaultsValue>& stored) {
    if (!stored) {
        return std::nullopt;
    }
    return std::visit(Overloaded{
                          [](double d) { return shortestText(d); },
                          [](int64_t i) { return std::to_string(i); },
                          [](bool b) { return std::string(b ? "1" : "0"); },
                          [](const std::string& s) { return s; },
                      },
                      *stored);
}

}  // namespace vx::StoredValue
