// SPDX-License-Identifier: MIT
// The chart and the table as computed without a toolkit: the pixels the chart's primitives
// cover on the chart's 449 x 217 drawing area, the labels' texts and places, the table's
// texts, grid lines and bands.
#include <gtest/gtest.h>

#include <cmath>

#include "ui/forms/graph_picture.h"

using namespace wirepace::ui::forms;
using wirepace::RunResult;
using wirepace::TestResult;

namespace {

constexpr int kInnerWidth = 449;
constexpr int kInnerHeight = 217;
const Rgb kFace{212, 208, 200};

int X(double units) {
    return static_cast<int>(std::floor(units * kInnerWidth / 100));
}
int Y(double units) {
    return static_cast<int>(std::floor(units * kInnerHeight / 100));
}
double BarTop(int index) {
    return (index - 2) * 14.0 + 5;
}
bool IsBlue(Rgb c) {
    return c.r == 0 && c.g == 0 && c.b >= 140;
}

using Speeds = std::array<double, wirepace::kTestCount>;

std::array<std::string, wirepace::kTestCount> Names() {
    std::array<std::string, wirepace::kTestCount> names;
    for (int i = 0; i < wirepace::kTestCount; ++i)
        names[static_cast<std::size_t>(i)] = wirepace::TestName(i);
    return names;
}

const Speeds kTypicalSpeeds = {48828, 89286, 6250, 7812, 10417, 11161, 9766, 10851, 10638};

RunResult TypicalRun() {
    const double ms[] = {10, 112, 80, 64, 960, 896, 2048, 4608, 4700};
    const double sizes[] = {0.488, 9.766, 0.156, 0, 10, 1234.5, 19.531, 48.828, 48.828};
    RunResult result;
    for (int i = 0; i < wirepace::kTestCount; ++i) {
        TestResult t;
        t.index = i;
        t.ms = ms[i];
        t.speed = kTypicalSpeeds[static_cast<std::size_t>(i)];
        t.sizeMB = sizes[i];
        t.comment = i == 7 ? "Possible Duplex Mismatch" : "";
        result.tests.push_back(t);
    }
    return result;
}

Raster Render(const Chart& chart) {
    Raster raster(kInnerWidth, kInnerHeight, kFace);
    raster.SetScale(chart.scaleWidth, chart.scaleHeight);
    for (const Primitive& p : chart.graph) raster.Draw(p);
    return raster;
}

int FirstColumnWith(const Raster& r, int y, Rgb colour) {
    for (int x = 0; x < r.Width(); ++x)
        if (r.At(x, y) == colour) return x;
    return -1;
}

}  // namespace

TEST(GraphPicture, ChartFacesWallsAndGrid) {
    const Chart chart = DrawChart(kTypicalSpeeds, Names());
    EXPECT_EQ(chart.maxSpeed, 11161);  // the local tests take no part
    const Raster r = Render(chart);
    const double top = BarTop(5);  // the longest bar
    const int mid = Y(top + 2);
    for (double x = 0.5; x < 95; x += 2.5) EXPECT_EQ(r.At(X(x), mid), kFrontFace) << x;
    EXPECT_EQ(FirstColumnWith(r, mid, kSideFace), X(95));
    EXPECT_EQ(r.At(X(40), Y(top - 2)), kTopFace);
    EXPECT_EQ(r.At(X(97), Y(top)), kSideFace);
    EXPECT_FALSE(IsBlue(r.At(X(99.8), Y(top + 3))));
    EXPECT_EQ(r.At(X(95), Y(99)), kBlack);  // the 100 % tick
    // Back wall and grid lines between two bar rows; the floor's back edge.
    const int gap = Y(12);
    for (double x : {4.0, 25.0, 50.0, 75.0}) EXPECT_EQ(r.At(X(x), gap), kBlack) << x;
    EXPECT_NE(r.At(X(30), gap), kBlack);
    EXPECT_EQ(r.At(X(60), Y(96)), kBlack);
    // A bar hides the grid line it crosses; every bar starts at the left edge.
    EXPECT_EQ(r.At(X(25), mid), kFrontFace);
    for (int i = 2; i <= 8; ++i) EXPECT_TRUE(IsBlue(r.At(X(1), Y(BarTop(i) + 2)))) << i;
    EXPECT_FALSE(IsBlue(r.At(X(30), Y(0.3))));
    EXPECT_FALSE(IsBlue(r.At(X(30), Y(BarTop(8) + 5))));
}

TEST(GraphPicture, BarLengthsAndZeroSpeed) {
    Speeds speeds{};
    speeds[2] = 8;
    speeds[3] = 1;  // 12.5 % rounds to 12
    speeds[4] = 3;  // 37.5 % rounds to 38
    const Raster r = Render(DrawChart(speeds, Names()));
    EXPECT_EQ(FirstColumnWith(r, Y(BarTop(2) + 2), kSideFace), X(95));
    EXPECT_EQ(FirstColumnWith(r, Y(BarTop(3) + 2), kSideFace), X(11.4));
    EXPECT_EQ(FirstColumnWith(r, Y(BarTop(4) + 2), kSideFace), X(36.1));
    // Speed 0: a thin slanted stub at the left edge only.
    const double top = BarTop(5);
    EXPECT_EQ(r.At(X(2), Y(top)), kSideFace);
    EXPECT_FALSE(IsBlue(r.At(X(6), Y(top + 2))));

    // All speeds 0: every bar has length 0 and the scale reads 0.
    const Chart none = DrawChart(Speeds{}, Names());
    for (const ScaleLabel& l : none.scaleLabels)
        if (l.step > 0) {
            EXPECT_EQ(l.text, "0");
        }
    EXPECT_EQ(none.barLabels.back().text, "INBOUND NETBIOS/TCP WINDOW TEST [0]");
}

TEST(GraphPicture, LabelsAndUnitText) {
    const Chart chart = DrawChart(kTypicalSpeeds, Names());
    ASSERT_EQ(chart.barLabels.size(), 7u);
    for (const BarLabel& l : chart.barLabels) {
        EXPECT_EQ(l.right, 268);
        EXPECT_EQ(l.top, BarTop(l.index));
        EXPECT_EQ(l.topPixel, static_cast<int>(std::lround(BarTop(l.index) * 219 / 100)));
    }
    EXPECT_EQ(chart.barLabels[0].text, "OUTBOUND THROUGHTPUT SMALL [6250]");
    EXPECT_EQ(chart.barLabels[6].text, "INBOUND NETBIOS/TCP WINDOW TEST [10638]");

    ASSERT_EQ(chart.scaleLabels.size(), 5u);
    EXPECT_FALSE(chart.scaleLabels[0].visible);
    EXPECT_EQ(chart.scaleLabels[0].text, "");
    EXPECT_EQ(chart.scaleLabels[4].text, "11,161");
    EXPECT_EQ(chart.scaleLabels[1].text, "2,790");
    for (int k = 0; k <= 4; ++k) EXPECT_EQ(chart.scaleLabels[k].centre, k * 25 - 5);
    // Centred on p - 5 in the 451-pixel strip: a 30-pixel label at step 4 (x = 95).
    EXPECT_EQ(ScaleLabelLeft(chart.scaleLabels[4], 30),
              static_cast<int>(std::lround((95 - 15 * 100.0 / 451) * 451 / 100)));
    // A label too wide to be centred there ends at the strip's right edge instead of being cut.
    EXPECT_EQ(ScaleLabelLeft(chart.scaleLabels[4], 60), 451 - 60);
    EXPECT_EQ(ScaleLabelLeft(chart.scaleLabels[2], 60),
              static_cast<int>(std::lround((45 - 30 * 100.0 / 451) * 451 / 100)));
    // Label 0 lies wholly left of the strip.
    EXPECT_LE(ScaleLabelLeft(chart.scaleLabels[0], 10) + 10, 0);

    EXPECT_EQ(chart.unit.text, "KB/s");
    EXPECT_EQ(chart.unit.x, 42);
    EXPECT_EQ(chart.unit.y, 16.5);
    EXPECT_TRUE(chart.unit.font.bold);
}

TEST(GraphPicture, TableTextsGridAndBands) {
    const GraphPicture picture = LoadGraph(TypicalRun(), "Branch");
    EXPECT_EQ(picture.caption, "Test Results for Branch");
    EXPECT_EQ(LoadGraph(TypicalRun(), "").caption, "Test Results for ");
    const Table& t = picture.table;
    EXPECT_EQ(t.texts[0], "\r\nTest");
    EXPECT_EQ(t.texts[2], "File Size\r\n(MB)");
    EXPECT_EQ(t.texts[3], "Calculated Speed\r\n(KB/s)");
    EXPECT_EQ(t.texts[5], "LOCAL TIME SMALL");
    EXPECT_EQ(t.texts[6], "10");
    EXPECT_EQ(t.texts[5 * 3 + 2], ".156");  // test 2: size below one megabyte
    EXPECT_EQ(t.texts[5 * 4 + 2], ".0");    // a size of 0
    EXPECT_EQ(t.texts[5 * 5 + 2], "10.0");
    EXPECT_EQ(t.texts[5 * 6 + 2], "1,234.5");
    RunResult cutShort = TypicalRun();
    cutShort.tests.pop_back();
    const Table shorter = LoadGraph(cutShort, "").table;
    EXPECT_EQ(shorter.texts[5 * 9], "INBOUND NETBIOS/TCP WINDOW TEST");
    for (int c = 1; c < 5; ++c) EXPECT_EQ(shorter.texts[5 * 9 + c], "");  // not recorded
    EXPECT_EQ(LoadGraph(cutShort, "").chart.barLabels.back().text,
              "INBOUND NETBIOS/TCP WINDOW TEST [0]");
    EXPECT_EQ(t.texts[5 * 6 + 3], "11,161");
    EXPECT_EQ(t.texts[5 * 8 + 4], "Possible Duplex Mismatch");

    ASSERT_EQ(t.vertical.size(), 6u);
    const int columns[] = {7, 263, 329, 395, 509, 732};
    for (int j = 0; j < 6; ++j) {
        EXPECT_EQ(t.vertical[j].x1, columns[j]);
        EXPECT_EQ(t.vertical[j].y1, 297);
        EXPECT_EQ(t.vertical[j].y2, 512);
    }
    ASSERT_EQ(t.horizontal.size(), 11u);
    const int rows[] = {297, 329, 349, 369, 389, 409, 429, 449, 469, 489, 511};
    for (int j = 0; j < 11; ++j) {
        EXPECT_EQ(t.horizontal[j].y1, rows[j]);
        EXPECT_EQ(t.horizontal[j].x1, 8);
        EXPECT_EQ(t.horizontal[j].x2, 732);
        EXPECT_EQ(t.horizontal[j].front, j != 10);
    }
    EXPECT_EQ(t.bands[0].left, 7);
    EXPECT_EQ(t.bands[0].top, 297);
    EXPECT_EQ(t.bands[0].width, 727);
    EXPECT_EQ(t.bands[0].height, 35);
    EXPECT_EQ(t.bands[0].colour, Fixed(192, 192, 0));
    EXPECT_EQ(t.bands[1].top, 329);
    EXPECT_EQ(t.bands[1].height, 182);
    EXPECT_EQ(t.bands[1].colour, Sys(SystemColour::WindowBackground));
}
