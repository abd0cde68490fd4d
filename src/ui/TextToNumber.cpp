// Tavix CallerID: how the text of a box becomes a number.
#include "ui/TextToNumber.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

std::string withoutBlanks(const QString& text)
{
    std::string kept;
    for (QChar c : text) {
        if (c == u' ' || c == u'\t' || c == u'\n')
            continue;
        // Anything outside ASCII cannot be part of a number; it ends the scan like any letter.
        kept.push_back(c.unicode() < 128 ? static_cast<char>(c.unicode()) : '\x7f');
    }
    return kept;
}

[[noreturn]] void refuse(const std::string& number)
{
    throw NumberRangeError("The number " + number +
                           " is too large: values must lie between -2147483648 and 2147483647.");
}

int32_t checked(double value, const std::string& number)
{
    const double rounded = std::nearbyint(value); // the default mode rounds half to even
    if (!(rounded >= std::numeric_limits<int32_t>::min() &&
          rounded <= std::numeric_limits<int32_t>::max()))
        refuse(number);
    return static_cast<int32_t>(rounded);
}

int32_t radixInteger(const std::string& s, size_t from, int base)
{
    size_t end = from;
    uint64_t value = 0;
    for (; end < s.size(); ++end) {
        int digit = -1;
        const char c = s[end];
        if (isDigit(c))
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        if (digit < 0 || digit >= base)
            break;
        value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
        if (value > static_cast<uint64_t>(std::numeric_limits<int32_t>::max()))
            refuse(s.substr(0, end + 1) + "...");
    }
    return static_cast<int32_t>(value);
}

// The length of the longest beginning of s that reads as a decimal number, or 0.
size_t decimalPrefix(const std::string& s)
{
    size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        ++i;
    size_t digits = 0;
    while (i < s.size() && isDigit(s[i]))
        ++i, ++digits;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && isDigit(s[i]))
            ++i, ++digits;
    }
    if (digits == 0)
        return 0;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-'))
            ++j;
        if (j < s.size() && isDigit(s[j])) {
            while (j < s.size() && isDigit(s[j]))
                ++j;
            i = j;
        }
    }
    return i;
}

} // namespace

int32_t TextToNumber(const QString& text)
{
    const std::string s = withoutBlanks(text);
    if (s.size() >= 2 && s[0] == '&') {
        if (s[1] == 'h' || s[1] == 'H')
            return radixInteger(s, 2, 16);
        if (s[1] == 'o' || s[1] == 'O')
            return radixInteger(s, 2, 8);
    }

    const size_t length = decimalPrefix(s);
    if (length == 0)
        return 0;
    std::string number = s.substr(0, length);
    // from_chars takes no leading '+'.
    const char* first = number.data() + (number[0] == '+' ? 1 : 0);
    double value = 0;
    const auto [end, error] = std::from_chars(first, number.data() + number.size(), value);
    if (error == std::errc::result_out_of_range) {
        // Too small to matter rounds to 0; too large is refused.
        const auto e = number.find_first_of("eE");
        if (e != std::string::npos && number[e + 1] == '-')
            return 0;
        refuse(number);
    }
    (void)end;
    return checked(value, number);
}
