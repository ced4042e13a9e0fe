// SPDX-License-Identifier: MIT
#include "report/svg.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "common/printable_text.h"

namespace wirepace::report {

namespace {

// The length of the UTF-8 sequence that starts at `at`, or 0 when it is not a valid one.
std::size_t Utf8Length(std::string_view text, std::size_t at) {
    if (static_cast<unsigned char>(text[at]) < 0x80) return 1;
    std::uint32_t character = 0;
    return Utf8Sequence(text, at, character);
}

}  // namespace

std::string Escape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = Utf8Length(text, i);
        if (length == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        if (length > 1) {
            out.append(text.substr(i, length));
            i += length;
            continue;
        }
        const char c = text[i++];
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                // Control characters have no place in a document (the log refuses them too).
                if (static_cast<unsigned char>(c) < 0x20 && c != '\n' && c != '\t')
                    out += "\xEF\xBF\xBD";
                else
                    out += c;
        }
    }
    return out;
}

std::string Num(double value) {
    if (!std::isfinite(value)) value = 0;
    value = std::round(value * 100) / 100;
    if (value == 0) value = 0;  // no "-0"
    char buffer[400];
    const auto end =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 2).ptr;
    std::string text(buffer, end);
    while (text.back() == '0') text.pop_back();
    if (text.back() == '.') text.pop_back();
    return text;
}

std::string Css(const ui::forms::Rgb& c) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "#%02x%02x%02x", c.r, c.g, c.b);
    return buffer;
}

std::string Css(const ui::forms::Colour& colour) {
    using ui::forms::SystemColour;
    switch (colour.system) {
        case SystemColour::ButtonFace:
            return "#f0f0f0";
        case SystemColour::HighlightText:
        case SystemColour::WindowBackground:
            return "#ffffff";
        case SystemColour::WindowText:
            return "#000000";
        case SystemColour::None:
            break;
    }
    return Css(colour.rgb);
}

double TextWidth(std::string_view text) {
    // Advance widths of Arial (and Liberation Sans) at 11 pixels.
    double width = 0;
    for (char c : text) {
        if (c >= '0' && c <= '9') {
            width += 6.1;
        } else if (c == ',' || c == '.' || c == ' ' || c == '[' || c == ']' || c == '/') {
            width += 3.1;
        } else if (c >= 'A' && c <= 'Z') {
            width += 7.4;
        } else {
            width += 6.1;
        }
    }
    return width;
}

}  // namespace wirepace::report
