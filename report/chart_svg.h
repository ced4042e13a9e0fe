// SPDX-License-Identifier: MIT
// The bar chart of the results window as SVG, drawn from the primitives, label texts and label
// places the windows render (ui/forms/graph_picture.h): the report shows the same bars, numbers
// and order as the window, with no chart arithmetic of its own.
#pragma once

#include <string>

#include "ui/forms/graph_picture.h"

namespace wirepace::report {

// An <svg> element of the window's chart area (its frame, title, bar labels, chart and scale),
// in the window's pixels.
std::string ChartSvg(const ui::forms::Chart& chart);

}  // namespace wirepace::report
