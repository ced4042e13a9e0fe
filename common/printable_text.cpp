// SPDX-License-Identifier: MIT
#include "common/printable_text.h"

#include <cstddef>
#include <cstdint>

namespace wirepace {

namespace {

void AppendEscaped(std::string& out, unsigned char byte) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    out += "\\x";
    out += kHex[byte >> 4];
    out += kHex[byte & 0x0F];
}

}  // namespace

std::size_t Utf8Sequence(std::string_view text, std::size_t at, std::uint32_t& character) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    std::uint32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        character = lead & 0x1F;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        character = lead & 0x0F;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        character = lead & 0x07;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (at + length > text.size()) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return 0;
        character = (character << 6) | (byte(i) & 0x3F);
    }
    if (character < minimum || character > 0x10FFFF || (character >= 0xD800 && character <= 0xDFFF))
        return 0;
    return length;
}

std::string PrintableText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte >= 0x20 && byte < 0x7F) {
            out += text[i++];
            continue;
        }
        std::uint32_t character = 0;
        const std::size_t length = byte >= 0x80 ? Utf8Sequence(text, i, character) : 0;
        // C1 controls (U+0080 to U+009F) act on some terminals as their escape sequences do.
        if (length > 0 && character >= 0xA0) {
            out.append(text.substr(i, length));
            i += length;
            continue;
        }
        const std::size_t bytes = length > 0 ? length : 1;
        for (std::size_t k = 0; k < bytes; ++k)
            AppendEscaped(out, static_cast<unsigned char>(text[i + k]));
        i += bytes;
    }
    return out;
}

}  // namespace wirepace
