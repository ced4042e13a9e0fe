// SPDX-License-Identifier: MIT
#include "common/number_format.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>

#include "common/regional.h"

namespace wirepace {

namespace {

// to_chars and from_chars ignore the C locale, which a GUI toolkit may have changed.
std::string ShortestGeneral(double value, int precision) {
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, precision);
    return std::string(buf, res.ptr);
}

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
    if (from.empty() || from == to) return;
    for (size_t pos = text.find(from); pos != std::string::npos;
         pos = text.find(from, pos + to.size()))
        text.replace(pos, from.size(), to);
}

std::string_view Trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

}  // namespace

double RoundHalfEven(double value, int decimals) {
    if (!std::isfinite(value)) return value;
    if (decimals <= 0) return std::nearbyint(value);  // default rounding mode: halves to even
    const double scale = std::pow(10.0, decimals);
    return std::nearbyint(value * scale) / scale;
}

std::string NumberToText(double value) {
    if (value == 0) return "0";  // also drops the sign of -0
    std::string text = ShortestGeneral(value, 15);
    const auto e = text.find('e');
    if (e != std::string::npos) text[e] = 'E';
    ReplaceAll(text, ".", Regional().decimalSeparator);
    return text;
}

std::string PrintForm(double wholeNumber) {
    return (wholeNumber < 0 ? "-" : " ") + NumberToText(std::fabs(wholeNumber)) + " ";
}

std::optional<double> TextToNumber(std::string_view text) {
    std::string s(Trim(text));
    if (s.empty()) return std::nullopt;
    ReplaceAll(s, Regional().decimalSeparator, ".");
    if (s.front() == '+') s.erase(0, 1);
    double value = 0;
    const char* end = s.data() + s.size();
    auto res = std::from_chars(s.data(), end, value);
    if (res.ec != std::errc() || res.ptr != end) return std::nullopt;
    return value;
}

std::string FormatNumber(double value, std::string_view pattern) {
    const auto dot = pattern.find('.');
    const std::string_view intPart = pattern.substr(0, dot);
    const std::string_view decPart =
        dot == std::string_view::npos ? std::string_view{} : pattern.substr(dot + 1);

    int minInt = 0;
    bool grouping = false;
    for (char c : intPart) {
        if (c == '0') ++minInt;
        if (c == ',') grouping = true;
    }
    int maxDec = 0, minDec = 0;
    for (char c : decPart) {
        if (c == '0' || c == '#') ++maxDec;
        if (c == '0') minDec = maxDec;  // a "0" forces every place up to it
    }

    // Format rounds halves away from zero.
    const double scaled = std::round(std::fabs(value) * std::pow(10.0, maxDec));
    std::string digits = ShortestGeneral(scaled, 17);
    if (digits.find_first_of("e.") != std::string::npos) {
        char buf[400];
        auto res = std::to_chars(buf, buf + sizeof buf, scaled, std::chars_format::fixed, 0);
        digits.assign(buf, res.ptr);
    }
    if (static_cast<int>(digits.size()) <= maxDec)
        digits.insert(0, static_cast<size_t>(maxDec) - digits.size() + 1, '0');
    std::string intDigits = digits.substr(0, digits.size() - static_cast<size_t>(maxDec));
    std::string decDigits = digits.substr(digits.size() - static_cast<size_t>(maxDec));

    intDigits.erase(0, intDigits.find_first_not_of('0'));
    if (static_cast<int>(intDigits.size()) < minInt)
        intDigits.insert(0, static_cast<size_t>(minInt) - intDigits.size(), '0');
    while (static_cast<int>(decDigits.size()) > minDec && decDigits.back() == '0')
        decDigits.pop_back();

    const bool nonZero = intDigits.find_first_not_of('0') != std::string::npos ||
                         decDigits.find_first_not_of('0') != std::string::npos;

    std::string out;
    if (grouping && intDigits.size() > 3) {
        const std::string& sep = Regional().groupingSeparator;
        size_t lead = intDigits.size() % 3;
        if (lead == 0) lead = 3;
        out = intDigits.substr(0, lead);
        for (size_t i = lead; i < intDigits.size(); i += 3) out += sep + intDigits.substr(i, 3);
    } else {
        out = intDigits;
    }
    if (dot != std::string_view::npos) out += Regional().decimalSeparator + decDigits;
    if (value < 0 && nonZero) out.insert(0, "-");
    return out;
}

std::string FormatNumberText(std::string_view text, std::string_view pattern) {
    const auto number = TextToNumber(text);
    if (!number) return std::string(text);
    return FormatNumber(*number, pattern);
}

}  // namespace wirepace
