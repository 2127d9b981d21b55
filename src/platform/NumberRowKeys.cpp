#include "platform/NumberRowKeys.h"

#include <array>
#include <utility>

namespace vx::platform {

namespace {

// The Macintosh codes follow the keys' wiring, not their order on the row.
constexpr std::array<std::pair<uint32_t, char>, 10> kNumberRow{{
    {18, '1'},
    {19, '2'},
    {20, '3'},
    {21, '4'},
    {23, '5'},
    {22, '6'},
    {26, '7'},
    {28, '8'},
    {25, '9'},
    {29, '0'},
}};

}  // namespace

std::optional<char> numberRowDigit(uint32_t keyCode) {
    for (const auto& [code, digit] : kNumberRow) {
        if (code == keyCode) {
            return digit;
        }
    }
    return std::nullopt;
}

}  // namespace vx::platform
