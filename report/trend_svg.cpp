// SPDX-License-Identifier: MIT
#include "report/trend_svg.h"

#include <algorithm>
#include <cmath>

#include "common/number_format.h"
#include "report/svg.h"

namespace wirepace::report {

namespace {

constexpr double kWidth = 300, kHeight = 130;
constexpr double kLeft = 58, kRight = 10, kTop = 22, kBottom = 14;
constexpr const char* kEarlier = "#1565c0";
constexpr const char* kCurrent = "#e65100";

std::string Text(double x, double y, const std::string& text, const std::string& extra = "") {
    return "<text x=\"" + Num(x) + "\" y=\"" + Num(y) + "\"" + extra + ">" + Escape(text) +
           "</text>";
}

}  // namespace

std::string TrendSvg(const std::vector<TrendPoint>& points, const std::string& title) {
    std::string out = "<svg class=\"trend\" role=\"img\" viewBox=\"0 0 " + Num(kWidth) + " " +
                      Num(kHeight) + "\" width=\"" + Num(kWidth) + "\" height=\"" + Num(kHeight) +
                      "\" font-size=\"10px\">";
    out += "<title>" + Escape(title) + "</title>";
    out += Text(kLeft, 13, title, " font-size=\"11px\" font-weight=\"bold\"");
    const double plotWidth = kWidth - kLeft - kRight;
    const double plotHeight = kHeight - kTop - kBottom;
    out += "<rect x=\"" + Num(kLeft) + "\" y=\"" + Num(kTop) + "\" width=\"" + Num(plotWidth) +
           "\" height=\"" + Num(plotHeight) + "\" fill=\"#ffffff\" stroke=\"#999999\"/>";

    double top = 0;
    for (const TrendPoint& p : points)
        if (p.speed && std::isfinite(*p.speed)) top = std::max(top, *p.speed);
    if (!(top > 0)) {
        out += Text(kLeft + plotWidth / 2, kTop + plotHeight / 2 + 4, "no results",
                    " text-anchor=\"middle\" fill=\"#777777\"");
        return out + "</svg>";
    }
    const double yMax = top * 1.1;
    const double n = static_cast<double>(points.size());
    auto X = [&](std::size_t i) {
        return n <= 1 ? kLeft + plotWidth / 2
                      : kLeft + 6 + static_cast<double>(i) * (plotWidth - 12) / (n - 1);
    };
    auto Y = [&](double v) { return kTop + plotHeight - std::max(0.0, v) / yMax * plotHeight; };
    for (double f : {0.0, 0.5, 1.0}) {
        const double v = top * f;
        out += "<line x1=\"" + Num(kLeft) + "\" y1=\"" + Num(Y(v)) + "\" x2=\"" +
               Num(kLeft + plotWidth) + "\" y2=\"" + Num(Y(v)) + "\" stroke=\"#e6e6e6\"/>";
        out += Text(kLeft - 4, Y(v) + 3, FormatNumber(std::round(v), "##,##0"),
                    " text-anchor=\"end\"");
    }

    std::string d;
    bool open = false;
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (!points[i].speed) {
            open = false;
            continue;
        }
        d += (open ? "L" : "M") + Num(X(i)) + "," + Num(Y(*points[i].speed));
        open = true;
    }
    out += "<path d=\"" + d + "\" fill=\"none\" stroke=\"" + kEarlier + "\" stroke-width=\"1\"/>";
    for (std::size_t i = 0; i < points.size(); ++i) {
        const TrendPoint& p = points[i];
        if (!p.speed) continue;
        out += "<circle cx=\"" + Num(X(i)) + "\" cy=\"" + Num(Y(*p.speed)) + "\" r=\"" +
               (p.current ? "4.5" : "2.5") + "\" fill=\"" + (p.current ? kCurrent : kEarlier) +
               "\"" + (p.current ? " class=\"current\"" : "") + "><title>" +
               Escape(p.label + ": " + FormatNumber(*p.speed, "##,##0") + " KB/s" +
                      (p.current ? " (this run)" : "")) +
               "</title></circle>";
    }
    return out + "</svg>";
}

}  // namespace wirepace::report
