// SPDX-License-Identifier: MIT
// The arithmetic behind the bar chart, kept apart from the widgets so it can be checked alone.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "core/catalogue.h"

namespace wirepace::ui {

// First and last test index that gets a bar: the network tests. The two local tests never do.
inline constexpr int kFirstBarIndex = 2;
inline constexpr int kLastBarIndex = 8;

// The largest speed of the network tests, or 0 when none is above 0. Values that are not
// finite take no part: they would leave every other bar undefined.
double MaxNetworkSpeed(const std::array<double, kTestCount>& speeds);

// The bar length in percent of the full length, halves to the even neighbour. 0 when the
// maximum is 0 (nothing to compare against) and for negative or undefined speeds; never
// above 100.
std::int16_t BarPercent(double speed, double maxSpeed);

// The four value texts of the speed scale (quarter, half, three quarters and all of the
// maximum), whole numbers grouped with "##,##0"; entry 0 is the unlabelled origin and stays
// empty.
std::array<std::string, 5> ScaleLabelTexts(double maxSpeed);

// "NAME [speed]" with the speed in the plain number form.
std::string BarLabelText(const std::string& name, double speed);

}  // namespace wirepace::ui
