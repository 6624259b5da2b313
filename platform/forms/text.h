// The runtime-error type, the resume-next helper and the text functions the
// program uses (number to text, hexadecimal, trimming, text to number).
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace forms {

// A statement that fails throws this; procedures that run under the
// resume-next rule abandon that statement and go on with the next.
class RuntimeError : public std::runtime_error {
public:
    RuntimeError(int number, const char* description)
        : std::runtime_error(description), m_number(number) {}
    int number() const { return m_number; }

private:
    int m_number;
};

constexpr int kErrInvalidCall = 5;
constexpr int kErrOverflow = 6;
constexpr int kErrTypeMismatch = 13;
constexpr int kErrInvalidPropertyValue = 380;
constexpr int kErrNoSuchProperty = 438;

// Runs each statement in turn; one that throws a RuntimeError is abandoned
// and the next one runs. Takes the statements as callables, so nothing is
// allocated.
template <class Statement>
void RunStatement(Statement&& statement) noexcept {
    try {
        statement();
    } catch (const RuntimeError&) {
        // abandoned: the next statement runs
    }
}

template <class... Statements>
void ResumeNext(Statements&&... statements) noexcept {
    (RunStatement(statements), ...);
}

// Decimal text of a 32-bit integer: "512", "-7".
std::string DecimalText(std::int32_t value);
// The same into a caller's buffer (no allocation); returns the length.
int DecimalText(std::int32_t value, char* out);
// Decimal text with the sign position kept: " 6", "-1".
std::string SignedText(std::int32_t value);
// Upper-case hexadecimal without leading zeros: 0 -> "0", 255 -> "FF".
std::string HexText(std::uint32_t value);
// Text to a 32-bit integer, made whole (halves to the even neighbour).
// Leading and trailing spaces are allowed. Throws kErrTypeMismatch for a text
// that is not a number and kErrOverflow outside the 32-bit range.
std::int32_t TextToInt32(std::string_view text);
// Removes space characters (code 32 only) at both ends.
std::string_view TrimSpaces(std::string_view text);
// 1-based position of `what` in `text`, 0 when absent.
int InStr(std::string_view text, std::string_view what);

}  // namespace forms
