// SPDX-License-Identifier: MIT
#include "report/timeline_svg.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "common/number_format.h"
#include "report/svg.h"

namespace wirepace::report {

namespace {

constexpr double kWidth = 380, kHeight = 156;
constexpr double kLeft = 58, kRight = 24, kTop = 20, kBottom = 28;
constexpr double kLegend = 60;  // beside the plot, when it has a line per drone
// Not the bars' blue: the chart's bars are the one place that colour stands for.
constexpr std::array<const char*, 5> kLineColours = {"#1565c0", "#d84315", "#2e7d32", "#8e24aa",
                                                     "#6d4c41"};

TimelineSeries SeriesOf(const std::string& label, const std::vector<double>& bytes,
                        double totalMs) {
    TimelineSeries s;
    s.label = label;
    const double n = static_cast<double>(bytes.size());
    const double lastPart = totalMs / kSampleIntervalMs - (n - 1);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        double seconds = 1;
        if (i + 1 == bytes.size() && lastPart > 0 && lastPart < 1) seconds = lastPart;
        s.start.push_back(static_cast<double>(i));
        s.end.push_back(static_cast<double>(i) + seconds);
        s.rate.push_back(std::max(0.0, bytes[i]) / 1024 / seconds);
    }
    return s;
}

// A round step for an axis that reaches `top`: 1, 2 or 5 times a power of ten, about `count`
// steps in all.
double Step(double top, int count) {
    if (!(top > 0)) return 1;
    const double raw = top / count;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (raw <= m * power) return m * power;
    return 10 * power;
}

std::string Line(double x1, double y1, double x2, double y2, const std::string& attributes) {
    return "<line x1=\"" + Num(x1) + "\" y1=\"" + Num(y1) + "\" x2=\"" + Num(x2) + "\" y2=\"" +
           Num(y2) + "\" " + attributes + "/>";
}

std::string Text(double x, double y, const std::string& text, const std::string& extra = "") {
    return "<text x=\"" + Num(x) + "\" y=\"" + Num(y) + "\"" + extra + ">" + Escape(text) +
           "</text>";
}

}  // namespace

std::vector<TimelineSeries> TimelineOf(const TestResult& test) {
    // Every line runs on the test's clock; a result without the span of its samples has them
    // span its measured time.
    const double span = test.samplesMs > 0 ? test.samplesMs : test.exactMs;
    std::vector<TimelineSeries> lines;
    bool drones = false;
    for (const auto& samples : test.droneIntervals) drones = drones || !samples.empty();
    if (drones) {
        for (std::size_t k = 0; k < test.droneIntervals.size(); ++k)
            if (!test.droneIntervals[k].empty())
                lines.push_back(
                    SeriesOf("Drone " + std::to_string(k + 1), test.droneIntervals[k], span));
    } else if (!test.intervals.empty()) {
        lines.push_back(SeriesOf(test.index >= 6 ? "all copies" : "copy", test.intervals, span));
    }
    return lines;
}

std::string TimelineSvg(const TestResult& test) {
    const std::vector<TimelineSeries> lines = TimelineOf(test);
    const std::string title =
        "<title>" + Escape("Test " + test.id + ", KB/s per second") + "</title>";
    if (lines.empty()) {
        const double plotWidth = kWidth - kLeft - kRight;
        // A strip, not an empty chart: the page stays short when no test has samples.
        constexpr double kStrip = 28;
        return "<svg class=\"timeline no-samples\" role=\"img\" viewBox=\"0 0 " + Num(kWidth) +
               " " + Num(kStrip) + "\" width=\"" + Num(kWidth) + "\" height=\"" + Num(kStrip) +
               "\" font-size=\"11px\">" + title + "<rect x=\"" + Num(kLeft) +
               "\" y=\"0.5\" width=\"" + Num(plotWidth) + "\" height=\"" + Num(kStrip - 1) +
               "\" fill=\"#ffffff\" stroke=\"#cccccc\" stroke-dasharray=\"3 2\"/>" +
               Text(kLeft + plotWidth / 2, kStrip / 2 + 4, "no samples",
                    " text-anchor=\"middle\" fill=\"#777777\"") +
               "</svg>";
    }
    std::string out = "<svg class=\"timeline\" role=\"img\" viewBox=\"0 0 " + Num(kWidth) + " " +
                      Num(kHeight) + "\" width=\"" + Num(kWidth) + "\" height=\"" + Num(kHeight) +
                      "\" font-size=\"10px\">" + title;
    const bool legend = lines.size() > 1;
    const double plotWidth = kWidth - kLeft - (legend ? kLegend : kRight);
    const double plotHeight = kHeight - kTop - kBottom;
    out += "<rect x=\"" + Num(kLeft) + "\" y=\"" + Num(kTop) + "\" width=\"" + Num(plotWidth) +
           "\" height=\"" + Num(plotHeight) + "\" fill=\"#ffffff\" stroke=\"#999999\"/>";

    double seconds = 0, top = test.speed;
    for (const TimelineSeries& s : lines) {
        seconds = std::max(seconds, s.end.back());
        for (double r : s.rate) top = std::max(top, r);
    }
    const double xStep = Step(seconds, 6);
    const double yStep = Step(top, 4);
    const double xMax = std::max(xStep, std::ceil(seconds / xStep) * xStep);
    const double yMax = std::max(yStep, std::ceil(top * 1.05 / yStep) * yStep);
    auto X = [&](double s) { return kLeft + s / xMax * plotWidth; };
    auto Y = [&](double rate) { return kTop + plotHeight - rate / yMax * plotHeight; };

    for (double v = 0; v <= yMax + yStep / 2; v += yStep) {
        out += Line(kLeft, Y(v), kLeft + plotWidth, Y(v), "stroke=\"#e6e6e6\"");
        out += Text(kLeft - 4, Y(v) + 3, FormatNumber(v, "##,##0"), " text-anchor=\"end\"");
    }
    for (double s = 0; s <= xMax + xStep / 2; s += xStep)
        out +=
            Text(X(s), kTop + plotHeight + 12, NumberToText(s) + " s", " text-anchor=\"middle\"");
    out += Text(4, kTop - 8, "KB/s", " fill=\"#555555\"");

    // The test's own figure, for comparison with the course that made it.
    if (test.speed > 0)
        out += Line(kLeft, Y(test.speed), kLeft + plotWidth, Y(test.speed),
                    "stroke=\"#777777\" stroke-dasharray=\"4 3\"");

    for (std::size_t k = 0; k < lines.size(); ++k) {
        const TimelineSeries& s = lines[k];
        const std::string colour = kLineColours[k % kLineColours.size()];
        std::string d;
        for (std::size_t i = 0; i < s.rate.size(); ++i) {
            d += (i == 0 ? "M" : "L") + Num(X(s.start[i])) + "," + Num(Y(s.rate[i]));
            d += "H" + Num(X(s.end[i]));
        }
        out += "<path d=\"" + d + "\" fill=\"none\" stroke=\"" + colour +
               "\" stroke-width=\"1.5\"><title>" + Escape(s.label) + "</title></path>";
        if (legend)
            out += Text(kLeft + plotWidth + 8, kTop + 8 + 12 * static_cast<double>(k), s.label,
                        " fill=\"" + colour + "\"");
    }
    return out + "</svg>";
}

}  // namespace wirepace::report
