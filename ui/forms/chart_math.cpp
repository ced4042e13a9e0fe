// SPDX-License-Identifier: MIT
#include "ui/forms/chart_math.h"

#include <cmath>

#include "common/number_format.h"

namespace wirepace::ui {

double MaxNetworkSpeed(const std::array<double, kTestCount>& speeds) {
    double maxSpeed = 0;
    for (int i = kFirstBarIndex; i <= kLastBarIndex; ++i) {
        if (std::isfinite(speeds[i]) && speeds[i] > maxSpeed) maxSpeed = speeds[i];
    }
    return maxSpeed;
}

std::int16_t BarPercent(double speed, double maxSpeed) {
    if (!(maxSpeed > 0)) return 0;
    double pct = RoundHalfEven(speed / maxSpeed * 100);
    if (!(pct > 0)) return 0;
    if (pct > 100) return 100;
    return static_cast<std::int16_t>(pct);
}

std::array<std::string, 5> ScaleLabelTexts(double maxSpeed) {
    // The values pass through their plain text form first and are read back, so a label shows
    // exactly the integer part of what that form holds.
    const std::array<std::string, 5> plain = {
        "", NumberToText(maxSpeed / 4), NumberToText(maxSpeed / 2), NumberToText(maxSpeed * 3 / 4),
        NumberToText(maxSpeed)};
    const std::array<double, 5> raw = {0, maxSpeed / 4, maxSpeed / 2, maxSpeed * 3 / 4, maxSpeed};
    std::array<std::string, 5> texts;
    for (int k = 1; k <= 4; ++k) {
        double value = TextToNumber(plain[k]).value_or(raw[k]);
        texts[k] = FormatNumber(std::floor(value), "##,##0");
    }
    return texts;
}

std::string BarLabelText(const std::string& name, double speed) {
    return name + " [" + NumberToText(speed) + "]";
}

}  // namespace wirepace::ui
