// SPDX-License-Identifier: MIT
#include "ui/forms/graph_picture.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "common/number_format.h"
#include "ui/forms/chart_math.h"

namespace wirepace::ui::forms {

namespace {

// Chart constants, in chart units.
constexpr double kDepth = 4;
constexpr double kBarThickness = 4;
constexpr double kBarPitch = 14;
constexpr double kFirstBarTop = 5;
constexpr double kScaleOffset = -5;
constexpr double kTickLength = 2;
constexpr double kFillStep = 0.1;

// Table layout in window pixels.
constexpr std::array<int, 5> kColumnLeft = {8, 262, 328, 394, 512};
constexpr std::array<int, 5> kColumnWidth = {254, 64, 64, 112, 220};
constexpr int kHeaderNameWidth = 255;
constexpr int kHeaderTop = 300;
constexpr int kHeaderHeight = 31;
constexpr int kFirstRowTop = 332;
constexpr int kRowPitch = 20;
constexpr int kRowHeight = 19;
constexpr std::array<int, 6> kColumnLines = {7, 263, 329, 395, 509, 732};

double BarTop(int index) {
    return (index - kFirstBarIndex) * kBarPitch + kFirstBarTop;
}

// The bar-length arithmetic works on 16-bit integers; keep the conversions in range.
std::int16_t ToInt16(double value) {
    const double rounded = RoundHalfEven(value);
    if (!(rounded >= -32768)) return -32768;
    if (rounded > 32767) return 32767;
    return static_cast<std::int16_t>(rounded);
}

Primitive Line(double x1, double y1, double x2, double y2, Rgb colour) {
    return {PrimitiveKind::Line, x1, y1, x2, y2, colour};
}

// The label strips' pixel maps: picLabels takes the chart's height and its vertical scale,
// picScale the chart's width and its horizontal scale.
PixelMap BarLabelStrip(double scaleHeight) {
    return {GraphForm().Control("picLabels").width, GraphForm().Control("Graph").height, 0,
            scaleHeight};
}
PixelMap ScaleStrip(double scaleWidth) {
    return {GraphForm().Control("Graph").width, GraphForm().Control("picScale").height, scaleWidth,
            0};
}
constexpr double kChartUnits = 100;

}  // namespace

Chart DrawChart(const std::array<double, kTestCount>& speeds,
                const std::array<std::string, kTestCount>& names) {
    Chart chart;
    chart.maxSpeed = MaxNetworkSpeed(speeds);
    // DrawScale("100", "100", 8): both texts read as single-precision numbers.
    const double SW = static_cast<float>(std::stod("100"));
    const double SH = static_cast<float>(std::stod("100"));
    chart.scaleWidth = SW;
    chart.scaleHeight = SH;
    auto& g = chart.graph;

    g.push_back(Line(0, SH, kDepth, SH - kDepth, kBlack));
    g.push_back(Line(kDepth, SH - kDepth, kDepth, 0, kBlack));
    g.push_back(Line(kDepth, SH - kDepth, SW, SH - kDepth, kBlack));

    const ControlDesign& model = GraphForm().Control("lbl1_2");
    const PixelMap strip = BarLabelStrip(SH);
    for (int k = kFirstBarIndex; k <= kLastBarIndex; ++k) {
        BarLabel label;
        label.index = k;
        label.top = BarTop(k);
        label.topPixel = static_cast<int>(std::lround(strip.ToPixelY(label.top)));
        label.right = model.left + model.width;
        chart.barLabels.push_back(label);
    }

    const ControlDesign& scaleStrip = GraphForm().Control("picScale");
    chart.unit.x = SW / 2 - 8;
    chart.unit.y = scaleStrip.height / 2.0;
    chart.unit.text = "KB/s";
    chart.unit.font = Font{kSansFace, 8.25, true};

    const std::array<std::string, 5> texts = ScaleLabelTexts(chart.maxSpeed);
    const int scaleTop = GraphForm().Control("lbl2_0").top;
    for (int t = 0; t <= 100; t += 25) {
        const double p = t * SW / 100;
        const int k = t / 25;
        g.push_back(Line(p + kScaleOffset, SH - kTickLength, p + kScaleOffset, SH, kBlack));
        g.push_back(Line(p + kScaleOffset, SH, p, SH - kDepth, kBlack));
        ScaleLabel label;
        label.step = k;
        label.top = scaleTop;
        label.centre = p + kScaleOffset;
        if (t != 0) {
            g.push_back(Line(p, 0, p, SH - kDepth, kBlack));
            label.text = texts[k];
            label.visible = true;
        }
        chart.scaleLabels.push_back(label);
    }

    // DrawBars: bottom row first.
    const std::int16_t w = ToInt16(SW - 5);
    for (int i = kLastBarIndex; i >= kFirstBarIndex; --i) {
        const std::int16_t pct = BarPercent(speeds[i], chart.maxSpeed);
        chart.barLabels[static_cast<std::size_t>(i - kFirstBarIndex)].text =
            BarLabelText(names[i], speeds[i]);
        const double top = BarTop(i);
        const double L = ToInt16(static_cast<double>(pct) * w) / 100.0;
        g.push_back({PrimitiveKind::FilledBox, 0, top, L, top + kBarThickness, kFrontFace});
        // The counters grow by the step, as in a counted loop, so the last line may fall
        // just short of the end when the steps do not add up exactly.
        for (double x = 0; x <= L; x += kFillStep)
            g.push_back(Line(x, top, x + kDepth, top - kDepth, kTopFace));
        for (double y = top; y <= top + kBarThickness; y += kFillStep)
            g.push_back(Line(L, y, L + kDepth, y - kDepth, kSideFace));
    }
    return chart;
}

int ScaleLabelLeft(const ScaleLabel& label, int width) {
    const PixelMap strip = ScaleStrip(kChartUnits);
    const double left = label.centre - strip.WidthToUnits(width) / 2;
    const int centred = static_cast<int>(std::lround(strip.ToPixelX(left)));
    // A wide last value (seven digits and more) would run past the strip's right edge and be
    // cut; it ends at the edge instead, still under its tick as far as it can.
    return std::min(centred, strip.innerWidth - width);
}

CellBox CellGeometry(int row, int column) {
    const bool header = row == 0;
    CellBox box;
    box.left = kColumnLeft[static_cast<std::size_t>(column)];
    box.width =
        header && column == 0 ? kHeaderNameWidth : kColumnWidth[static_cast<std::size_t>(column)];
    box.top = header ? kHeaderTop : kFirstRowTop + kRowPitch * (row - 1);
    box.height = header ? kHeaderHeight : kRowHeight;
    return box;
}

Table DrawTable(const RunResult& result) {
    Table table;
    const CellBox first = CellGeometry(0, 0);
    const CellBox last = CellGeometry(9, 0);
    const CellBox rightmost = CellGeometry(0, 4);

    // DrawTableGrid.
    const int gridTop = first.top - 3;
    const int gridBottom = last.top + last.height + 1;
    for (int j = 0; j <= 5; ++j) {
        const int x = kColumnLines[static_cast<std::size_t>(j)];
        table.vertical.push_back({"v_" + std::to_string(j), x, gridTop, x, gridBottom, true});
    }
    const int left = first.left;
    const int right = rightmost.left + rightmost.width;
    for (int j = 0; j <= 9; ++j) {
        const int y = CellGeometry(j, 0).top - 3;
        table.horizontal.push_back({"h_" + std::to_string(j), left, y, right, y, true});
    }
    const int bottom = last.top + last.height;
    table.horizontal.push_back({"h_10", left, bottom, right, bottom, false});

    // The texts.
    auto& t = table.texts;
    t[0] = "\r\nTest";
    t[1] = "Raw Time\r\n(ms)";
    t[2] = "File Size\r\n(MB)";
    t[3] = "Calculated Speed\r\n(KB/s)";
    t[4] = "\r\nComment";
    for (int r = 1; r <= 9; ++r) {
        const auto n = static_cast<std::size_t>(r - 1);
        const auto at = static_cast<std::size_t>(5 * r);
        t[at] = kCatalogue[n].name;
        // A test the run did not complete keeps its row empty.
        const TestResult* test = result.Find(r - 1);
        if (!test) continue;
        t[at + 1] = NumberToText(test->ms);
        t[at + 2] = FormatNumber(test->sizeMB, "###,###.0##");
        t[at + 3] = FormatNumber(test->speed, "###,###");
        t[at + 4] = test->comment;
    }

    // The bands, placed from the grid lines.
    const auto& v = table.vertical;
    const auto& h = table.horizontal;
    table.bands[0] = {"sh_0",
                      v[0].x1,
                      h[0].y1,
                      v[5].x1 - 5,
                      h[1].y1 - h[0].y1 + 3,
                      GraphForm().Control("lblT_0").back};
    table.bands[1] = {"sh_1",
                      v[0].x1,
                      h[1].y1,
                      v[5].x1 - 5,
                      h[10].y1 - h[1].y1,
                      GraphForm().Control("lblT_5").back};
    return table;
}

GraphPicture LoadGraph(const RunResult& result, const std::string& testName) {
    GraphPicture picture;
    picture.caption = "Test Results for " + testName;
    std::array<double, kTestCount> speeds{};
    std::array<std::string, kTestCount> names;
    for (std::size_t i = 0; i < kTestCount; ++i) {
        names[i] = kCatalogue[i].name;
        if (const TestResult* test = result.Find(static_cast<int>(i))) speeds[i] = test->speed;
    }
    picture.chart = DrawChart(speeds, names);
    picture.table = DrawTable(result);
    return picture;
}

// ---- pixels ----------------------------------------------------------------------------------

double PixelMap::ToPixelX(double x) const {
    return scaleWidth == 0 ? x : x * innerWidth / scaleWidth;
}

double PixelMap::ToPixelY(double y) const {
    return scaleHeight == 0 ? y : y * innerHeight / scaleHeight;
}

double PixelMap::WidthToUnits(int pixels) const {
    if (scaleWidth == 0) return pixels;
    return innerWidth == 0 ? 0 : pixels * scaleWidth / innerWidth;
}

int PixelOf(double coordinate) {
    // Far-off coordinates are clamped first so the integer conversion stays defined.
    return static_cast<int>(std::floor(std::clamp(coordinate, -1.0e6, 1.0e6)));
}

void Rasterise(const Primitive& p, const PixelMap& map, const std::function<void(int, int)>& plot) {
    if (p.kind == PrimitiveKind::FilledBox) {
        const int left = PixelOf(map.ToPixelX(std::min(p.x1, p.x2)));
        const int right = PixelOf(map.ToPixelX(std::max(p.x1, p.x2)));
        const int top = PixelOf(map.ToPixelY(std::min(p.y1, p.y2)));
        const int bottom = PixelOf(map.ToPixelY(std::max(p.y1, p.y2)));
        for (int y = std::max(top, -1); y <= std::min(bottom, map.innerHeight); ++y)
            for (int x = std::max(left, -1); x <= std::min(right, map.innerWidth); ++x) plot(x, y);
        return;
    }
    int px = PixelOf(map.ToPixelX(p.x1));
    int py = PixelOf(map.ToPixelY(p.y1));
    const int ex = PixelOf(map.ToPixelX(p.x2));
    const int ey = PixelOf(map.ToPixelY(p.y2));
    // Bresenham: exact integer steps, so the same line always covers the same pixels.
    const int dx = std::abs(ex - px);
    const int dy = -std::abs(ey - py);
    const int sx = px < ex ? 1 : -1;
    const int sy = py < ey ? 1 : -1;
    int err = dx + dy;
    for (;;) {
        plot(px, py);
        if (px == ex && py == ey) break;
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            px += sx;
        }
        if (e2 <= dx) {
            err += dx;
            py += sy;
        }
    }
}

Raster::Raster(int width, int height, Rgb background)
    : map_{std::max(0, width), std::max(0, height), 0, 0},
      pixels_(
          static_cast<std::size_t>(map_.innerWidth) * static_cast<std::size_t>(map_.innerHeight),
          (std::uint32_t{background.r} << 16) | (std::uint32_t{background.g} << 8) | background.b) {
}

void Raster::SetScale(double scaleWidth, double scaleHeight) {
    map_.scaleWidth = scaleWidth;
    map_.scaleHeight = scaleHeight;
}

void Raster::Draw(const Primitive& primitive) {
    const std::uint32_t value = (std::uint32_t{primitive.colour.r} << 16) |
                                (std::uint32_t{primitive.colour.g} << 8) | primitive.colour.b;
    Rasterise(primitive, map_, [&](int x, int y) {
        if (x >= 0 && y >= 0 && x < map_.innerWidth && y < map_.innerHeight)
            pixels_[static_cast<std::size_t>(y) * static_cast<std::size_t>(map_.innerWidth) +
                    static_cast<std::size_t>(x)] = value;
    });
}

Rgb Raster::At(int x, int y) const {
    if (x < 0 || y < 0 || x >= map_.innerWidth || y >= map_.innerHeight) return {};
    const std::uint32_t v =
        pixels_[static_cast<std::size_t>(y) * static_cast<std::size_t>(map_.innerWidth) +
                static_cast<std::size_t>(x)];
    return {static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 8),
            static_cast<std::uint8_t>(v)};
}

}  // namespace wirepace::ui::forms
