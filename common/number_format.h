// SPDX-License-Identifier: MIT
// Numbers as text: rounding, the default number-to-text form and the pattern formats.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace wirepace {

// Rounds to `decimals` places, sending exact halves to the even neighbour (2.5 -> 2, 3.5 -> 4).
double RoundHalfEven(double value, int decimals = 0);

// The default form: up to 15 significant digits, the regional decimal separator, no grouping,
// no trailing zeros, no separator for whole numbers; exponent form ("1E+15", "1E-05") outside
// the range that 15 digits show plainly.
std::string NumberToText(double value);

// The print form of a whole number: a blank or "-", the digits, a trailing blank.
std::string PrintForm(double wholeNumber);

// Reads decimal text as a number the way the default form writes it: surrounding blanks
// ignored, the regional decimal separator (or ".") accepted. Empty or other text gives nullopt.
std::optional<double> TextToNumber(std::string_view text);

// Formats with a number pattern made of "#" (digit or nothing), "0" (always a digit),
// "," (group thousands with the regional separator, when it stands among the integer
// placeholders) and "." (the regional decimal separator). Examples:
// FormatNumber(1234, "##,##0") == "1,234", FormatNumber(0, "###,###") == "",
// FormatNumber(0.156, "###,###.0##") == ".156".
std::string FormatNumber(double value, std::string_view pattern);

// The same for a text operand: text that reads as a number is formatted, any other text
// (an empty one included) is returned unchanged.
std::string FormatNumberText(std::string_view text, std::string_view pattern);

}  // namespace wirepace
