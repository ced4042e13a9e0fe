// SPDX-License-Identifier: MIT
// Small pieces of markup the report is written with: escaped text, coordinates, colours.
#pragma once

#include <string>
#include <string_view>

#include "ui/forms/form_design.h"

namespace wirepace::report {

// Text for an HTML or SVG document: markup characters escaped, and anything that is not valid
// UTF-8 (names and folders are kept as typed) replaced by U+FFFD, so the file always reads.
std::string Escape(std::string_view text);

// A coordinate or a length: at most two decimals, a point as separator whatever the locale.
std::string Num(double value);

// "#rrggbb"; system colours as the classic default scheme shows them.
std::string Css(const ui::forms::Rgb& colour);
std::string Css(const ui::forms::Colour& colour);

// About how wide `text` is in the chart's 11-pixel sans-serif font: places labels the way the
// windows do when they size a label to its text.
double TextWidth(std::string_view text);

}  // namespace wirepace::report
