// SPDX-License-Identifier: MIT
// Text that came from outside (a file others can write, a server's answer) made safe to show on
// a terminal or to write into a log line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace wirepace {

// `text` with every control character (C0 with NUL, tab and line ends, DEL, and C1 such as the
// one-character CSI) and every byte that is not part of valid UTF-8 written as "\xNN"; printable
// text, international text included, stays as it is. Nothing in the result can move a cursor,
// change a title, end a log line or cut a C string.
std::string PrintableText(std::string_view text);

// The length of the valid multi-byte UTF-8 sequence at `at` and the character it encodes; 0 when
// the bytes there are not one (a single byte, a stray continuation, a cut sequence, an overlong
// form, a surrogate, beyond U+10FFFF).
std::size_t Utf8Sequence(std::string_view text, std::size_t at, std::uint32_t& character);

}  // namespace wirepace
