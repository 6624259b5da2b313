#include "platform/forms/text.h"

#include <cmath>
#include <cstdlib>
#include <limits>

namespace forms {

int DecimalText(std::int32_t value, char* out) {
    char digits[12];
    int n = 0;
    // Work in 64 bits so that the most negative value has a magnitude.
    std::int64_t magnitude = value < 0 ? -static_cast<std::int64_t>(value) : value;
    do {
        digits[n++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    int length = 0;
    if (value < 0) out[length++] = '-';
    while (n > 0) out[length++] = digits[--n];
    return length;
}

std::string DecimalText(std::int32_t value) {
    char buffer[12];
    return std::string(buffer, static_cast<std::size_t>(DecimalText(value, buffer)));
}

std::string SignedText(std::int32_t value) {
    char buffer[13];
    int length = 0;
    if (value >= 0) buffer[length++] = ' ';
    length += DecimalText(value, buffer + length);
    return std::string(buffer, static_cast<std::size_t>(length));
}

std::string HexText(std::uint32_t value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    do {
        text.insert(text.begin(), kDigits[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    return text;
}

std::string_view TrimSpaces(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

int InStr(std::string_view text, std::string_view what) {
    const auto at = text.find(what);
    return at == std::string_view::npos ? 0 : static_cast<int>(at) + 1;
}

namespace {

bool IsNumberText(std::string_view t) {
    std::size_t i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    std::size_t digits = 0;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i, ++digits;
    if (i < t.size() && t[i] == '.') {
        ++i;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i, ++digits;
    }
    if (digits == 0) return false;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
        std::size_t exponent_digits = 0;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i, ++exponent_digits;
        if (exponent_digits == 0) return false;
    }
    return i == t.size();
}

}  // namespace

std::int32_t TextToInt32(std::string_view text) {
    const std::string_view t = TrimSpaces(text);
    if (!IsNumberText(t)) throw RuntimeError(kErrTypeMismatch, "Type mismatch");
    const double value = std::strtod(std::string(t).c_str(), nullptr);
    const double whole = std::nearbyint(value);  // default rounding: halves to even
    if (!(whole >= std::numeric_limits<std::int32_t>::min() &&
          whole <= std::numeric_limits<std::int32_t>::max()))
        throw RuntimeError(kErrOverflow, "Overflow");
    return static_cast<std::int32_t>(whole);
}

}  // namespace forms
