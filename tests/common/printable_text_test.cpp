// SPDX-License-Identifier: MIT
#include "common/printable_text.h"

#include <gtest/gtest.h>

#include <string>

namespace wirepace {
namespace {

using namespace std::string_literals;

TEST(PrintableText, ControlsAndBrokenUtf8BecomeEscapesAndTheRestStays) {
    // Plain and international text is shown as it is.
    EXPECT_EQ(PrintableText("bench-07 4711"), "bench-07 4711");
    EXPECT_EQ(PrintableText("Br\xC3\xBC"
                            "cke \xE2\x82\xAC \xF0\x9F\x98\x80"),
              "Br\xC3\xBC"
              "cke \xE2\x82\xAC \xF0\x9F\x98\x80");
    // A terminal's escape sequences, line ends, tabs, NUL and DEL cannot act.
    EXPECT_EQ(PrintableText("\x1B]0;owned\x07\x1B[2Jhost"), "\\x1B]0;owned\\x07\\x1B[2Jhost");
    EXPECT_EQ(PrintableText("a\r\nb\tc\0d\x7F"s), "a\\x0D\\x0Ab\\x09c\\x00d\\x7F");
    // C1 controls: CSI written as UTF-8 (U+009B) and as the lone byte.
    EXPECT_EQ(PrintableText("x\xC2\x9B"
                            "31m"),
              "x\\xC2\\x9B31m");
    EXPECT_EQ(PrintableText("x\x9B"
                            "31m"),
              "x\\x9B31m");
    // Bytes that are not UTF-8: Latin-1, a cut sequence, an overlong form, a surrogate.
    EXPECT_EQ(PrintableText("caf\xE9"), "caf\\xE9");
    EXPECT_EQ(PrintableText("\xE2\x82"), "\\xE2\\x82");
    EXPECT_EQ(PrintableText("\xC0\xAF"), "\\xC0\\xAF");
    EXPECT_EQ(PrintableText("\xED\xA0\x80"), "\\xED\\xA0\\x80");
    EXPECT_EQ(PrintableText(""), "");
}

}  // namespace
}  // namespace wirepace
