// Tavix CallerID: how the text of a box becomes a number.
#pragma once

#include <QString>

#include <cstdint>
#include <stdexcept>

// The text's number does not fit a signed 32-bit integer.
class NumberRangeError : public std::range_error
{
  public:
    using std::range_error::range_error;
};

// Blanks, tabs and line feeds are ignored anywhere; then the longest leading decimal number
// (sign, digits, point, fraction, exponent) is taken, or an "&H"/"&O" hexadecimal or octal
// integer; no number gives 0. Rounds half to even. Throws NumberRangeError when the result
// does not fit a signed 32-bit integer.
int32_t TextToNumber(const QString& text);
