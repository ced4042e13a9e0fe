// SPDX-License-Identifier: MIT
// The content of the results graph window computed once, without a toolkit: the chart as
// drawing primitives in the chart's user units, its printed unit text and label placements,
// and the table's texts, grid lines and background bands in window pixels. Each window only
// renders these.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/catalogue.h"
#include "core/run_result.h"
#include "ui/forms/form_design.h"

namespace wirepace::ui::forms {

// ---- chart -----------------------------------------------------------------------------------

inline const Rgb kBlack{0, 0, 0};
inline const Rgb kFrontFace{0, 0, 240};
inline const Rgb kTopFace{0, 0, 160};
inline const Rgb kSideFace{0, 0, 140};

enum class PrimitiveKind { Line, FilledBox };

// A one-pixel line from (x1, y1) to (x2, y2), both ends drawn, or a box filled and outlined
// between two opposite corners; user units of the surface it is drawn on.
struct Primitive {
    PrimitiveKind kind = PrimitiveKind::Line;
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    Rgb colour;
};

// Text printed into a picture box with its top left corner at (x, y): x in the box's user
// units, y in its pixels (the strip under the chart keeps its own vertical unit).
struct PrintedText {
    double x = 0, y = 0;
    std::string text;
    Font font;
};

// A bar label of picLabels: right-aligned, sized to its text, its right edge at `right`
// pixels, its top at `top` in the strip's vertical units (those of the chart).
struct BarLabel {
    int index = 0;
    std::string text;
    double top = 0;
    int topPixel = 0;  // the same top in the strip's pixels
    int right = 0;
};

// A scale label of picScale, sized to its text and centred on `centre` (the strip's
// horizontal units, those of the chart); its top stays at `top` pixels.
struct ScaleLabel {
    int step = 0;
    std::string text;
    double centre = 0;
    int top = 0;
    bool visible = false;
};

struct Chart {
    double maxSpeed = 0;
    double scaleWidth = 0, scaleHeight = 0;  // the chart's user scale
    std::vector<Primitive> graph;            // drawn into Graph in this order
    PrintedText unit;                        // "KB/s", printed into picScale
    std::vector<BarLabel> barLabels;         // test indices 2..8
    std::vector<ScaleLabel> scaleLabels;     // scale steps 0..4
};

// Left pixel of a scale label `width` pixels wide, centred on its place, but never past the
// strip's right edge.
int ScaleLabelLeft(const ScaleLabel& label, int width);

// DrawScale("100", "100", 8) and DrawBars(speeds, names) of the load handler.
Chart DrawChart(const std::array<double, kTestCount>& speeds,
                const std::array<std::string, kTestCount>& names);

// ---- table -----------------------------------------------------------------------------------

inline constexpr int kTableRows = 10;
inline constexpr int kTableColumns = 5;
inline constexpr int kTableCells = kTableRows * kTableColumns;

struct CellBox {
    int left = 0, top = 0, width = 0, height = 0;
};
// Design geometry of cell lblT(row * 5 + column), window pixels.
CellBox CellGeometry(int row, int column);

// A grid line between two window pixels: covers the first end pixel and stops before the
// second. `front`: brought in front of the cells.
struct GridLine {
    std::string name;
    int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    bool front = true;
};

struct Band {
    std::string name;
    int left = 0, top = 0, width = 0, height = 0;
    Colour colour;
};

struct Table {
    std::array<std::string, kTableCells> texts;  // line breaks as CR LF
    std::vector<GridLine> vertical;              // v(0)..v(5)
    std::vector<GridLine> horizontal;            // h(0)..h(10)
    std::array<Band, 2> bands;                   // sh(0) header, sh(1) body
};

// DrawTableGrid, the texts and the bands.
Table DrawTable(const RunResult& result);

// Everything the load handler builds.
struct GraphPicture {
    std::string caption;
    Chart chart;
    Table table;
};
GraphPicture LoadGraph(const RunResult& result, const std::string& testName);

// ---- pixels ----------------------------------------------------------------------------------

// How a surface's user scale maps to its pixels: x * innerWidth / scaleWidth, and the pixel is
// the one that contains the continuous coordinate.
struct PixelMap {
    int innerWidth = 0, innerHeight = 0;
    double scaleWidth = 0, scaleHeight = 0;
    double ToPixelX(double x) const;
    double ToPixelY(double y) const;
    double WidthToUnits(int pixels) const;
};
int PixelOf(double coordinate);

// Calls plot(x, y) for every pixel the primitive covers, unclipped.
void Rasterise(const Primitive& primitive, const PixelMap& map,
               const std::function<void(int, int)>& plot);

// A persistent RGB drawing surface, the same pixels in every toolkit.
class Raster {
  public:
    Raster(int width, int height, Rgb background);
    void SetScale(double scaleWidth, double scaleHeight);
    const PixelMap& Map() const { return map_; }
    void Draw(const Primitive& primitive);
    Rgb At(int x, int y) const;
    int Width() const { return map_.innerWidth; }
    int Height() const { return map_.innerHeight; }
    // 0x00RRGGBB per pixel, rows from the top.
    const std::vector<std::uint32_t>& Pixels() const { return pixels_; }

  private:
    PixelMap map_;
    std::vector<std::uint32_t> pixels_;
};

}  // namespace wirepace::ui::forms
