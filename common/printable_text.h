// SPDX-License-Identifier: MIT
// Text that came from outside (a file others can write, a server's answer) made safe to show on
// a terminal or to write into a log line.
#pragma once

#include <string>
#include <string_view>

namespace wirepace {

// `text` with every control character (C0 with NUL, tab and line ends, DEL, and C1 such as the
// one-character CSI) and every byte that is not part of valid UTF-8 written as "\xNN"; printable
// text, international text included, stays as it is. Nothing in the result can move a cursor,
// change a title, end a log line or cut a C string.
std::string PrintableText(std::string_view text);

}  // namespace wirepace
