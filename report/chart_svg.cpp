// SPDX-License-Identifier: MIT
#include "report/chart_svg.h"

#include <algorithm>
#include <cmath>

#include "report/svg.h"

namespace wirepace::report {

namespace {

using namespace ui::forms;

// A font of the same widths as the window's (see ui/graph/graph_controls.cpp).
constexpr const char* kFontFamily = "'MS Sans Serif', 'Liberation Sans', Arial, sans-serif";
// The label text's baseline below the label's top, for the 11-pixel font.
constexpr int kBaseline = 10;

bool Near(double a, double b) {
    return std::abs(a - b) < 1e-6;
}

// `next` is `line` moved by (dx, dy): same colour, same direction and length.
bool Shifted(const Primitive& line, const Primitive& next, double dx, double dy) {
    return next.kind == PrimitiveKind::Line && next.colour == line.colour &&
           Near(next.x1 - line.x1, dx) && Near(next.y1 - line.y1, dy) &&
           Near(next.x2 - line.x2, dx) && Near(next.y2 - line.y2, dy);
}

// The centre of the pixel that holds a coordinate, as the windows' rasteriser picks it.
double CentreX(const PixelMap& map, double x) {
    return PixelOf(map.ToPixelX(x)) + 0.5;
}
double CentreY(const PixelMap& map, double y) {
    return PixelOf(map.ToPixelY(y)) + 0.5;
}

std::string Point(const PixelMap& map, double x, double y) {
    return Num(CentreX(map, x)) + "," + Num(CentreY(map, y));
}

// The primitives in their order. A run of parallel lines, each a step of at most a pixel from
// the one before (how the windows fill a bar's top and side faces), covers the area between its
// first and last line: it becomes that one polygon instead of hundreds of lines.
void DrawPrimitives(std::string& out, const std::vector<Primitive>& graph, const PixelMap& map) {
    for (std::size_t i = 0; i < graph.size();) {
        const Primitive& p = graph[i];
        const std::string colour = Css(p.colour);
        if (p.kind == PrimitiveKind::FilledBox) {
            const int left = PixelOf(map.ToPixelX(std::min(p.x1, p.x2)));
            const int right = PixelOf(map.ToPixelX(std::max(p.x1, p.x2)));
            const int top = PixelOf(map.ToPixelY(std::min(p.y1, p.y2)));
            const int bottom = PixelOf(map.ToPixelY(std::max(p.y1, p.y2)));
            out += "<rect x=\"" + Num(left) + "\" y=\"" + Num(top) + "\" width=\"" +
                   Num(right - left + 1) + "\" height=\"" + Num(bottom - top + 1) + "\" fill=\"" +
                   colour + "\"/>";
            ++i;
            continue;
        }
        std::size_t last = i;
        if (i + 1 < graph.size()) {
            const double dx = graph[i + 1].x1 - p.x1;
            const double dy = graph[i + 1].y1 - p.y1;
            const bool small = std::abs(map.ToPixelX(dx)) <= 1 && std::abs(map.ToPixelY(dy)) <= 1 &&
                               !(Near(dx, 0) && Near(dy, 0));
            if (small && p.kind == PrimitiveKind::Line)
                while (last + 1 < graph.size() && Shifted(graph[last], graph[last + 1], dx, dy))
                    ++last;
        }
        if (last == i) {
            out += "<line x1=\"" + Num(CentreX(map, p.x1)) + "\" y1=\"" + Num(CentreY(map, p.y1)) +
                   "\" x2=\"" + Num(CentreX(map, p.x2)) + "\" y2=\"" + Num(CentreY(map, p.y2)) +
                   "\" stroke=\"" + colour + "\"/>";
            ++i;
            continue;
        }
        const Primitive& q = graph[last];
        out += "<polygon points=\"" + Point(map, p.x1, p.y1) + " " + Point(map, p.x2, p.y2) + " " +
               Point(map, q.x2, q.y2) + " " + Point(map, q.x1, q.y1) + "\" fill=\"" + colour +
               "\" stroke=\"" + colour + "\"/>";
        i = last + 1;
    }
}

std::string Text(double x, double y, const std::string& text, const std::string& extra = "") {
    return "<text x=\"" + Num(x) + "\" y=\"" + Num(y) + "\"" + extra + ">" + Escape(text) +
           "</text>";
}

}  // namespace

std::string ChartSvg(const Chart& chart) {
    const FormDesign& form = GraphForm();
    const ControlDesign& frame = form.Control("Shape1_0");
    const ControlDesign& title = form.Control("Label1");
    const ControlDesign& labels = form.Control("picLabels");
    const ControlDesign& graph = form.Control("Graph");
    const ControlDesign& strip = form.Control("picScale");
    const int border = graph.border ? 1 : 0;
    const PixelMap map{graph.width - 2 * border, graph.height - 2 * border, chart.scaleWidth,
                       chart.scaleHeight};
    const int width = frame.left * 2 + frame.width;
    const int height = frame.top * 2 + frame.height;

    std::string out = "<svg class=\"bar-chart\" role=\"img\" viewBox=\"0 0 " + Num(width) + " " +
                      Num(height) + "\" width=\"" + Num(width) + "\" height=\"" + Num(height) +
                      "\" font-family=\"" + kFontFamily + "\" font-size=\"11px\">";
    out += "<title>" + Escape(title.caption) + "</title>";
    out += "<rect x=\"" + Num(frame.left + 0.5) + "\" y=\"" + Num(frame.top + 0.5) + "\" width=\"" +
           Num(frame.width - 1) + "\" height=\"" + Num(frame.height - 1) +
           "\" fill=\"none\" stroke=\"#000000\"/>";
    out += Text(title.left + title.width / 2.0, title.top + 18, title.caption,
                " font-size=\"18px\" text-anchor=\"middle\"");

    // The chart: its picture box with the frame, the primitives clipped to its drawing area.
    out += "<rect x=\"" + Num(graph.left + 0.5) + "\" y=\"" + Num(graph.top + 0.5) + "\" width=\"" +
           Num(graph.width - 1) + "\" height=\"" + Num(graph.height - 1) + "\" fill=\"" +
           Css(graph.back) + "\" stroke=\"" + (border ? "#000000" : "none") + "\"/>";
    out += "<svg x=\"" + Num(graph.left + border) + "\" y=\"" + Num(graph.top + border) +
           "\" width=\"" + Num(map.innerWidth) + "\" height=\"" + Num(map.innerHeight) +
           "\" overflow=\"hidden\" shape-rendering=\"crispEdges\" stroke-linecap=\"square\">";
    DrawPrimitives(out, chart.graph, map);
    out += "</svg>";

    for (const BarLabel& b : chart.barLabels)
        out += Text(labels.left + b.right, labels.top + b.topPixel + kBaseline, b.text,
                    " text-anchor=\"end\"");
    const PixelMap scale{graph.width, strip.height, chart.scaleWidth, 0};
    out += Text(strip.left + PixelOf(scale.ToPixelX(chart.unit.x)),
                strip.top + PixelOf(chart.unit.y) + kBaseline, chart.unit.text,
                chart.unit.font.bold ? " font-weight=\"bold\"" : "");
    for (const ScaleLabel& l : chart.scaleLabels) {
        if (!l.visible) continue;
        const int labelWidth = static_cast<int>(std::lround(TextWidth(l.text)));
        out +=
            Text(strip.left + ScaleLabelLeft(l, labelWidth), strip.top + l.top + kBaseline, l.text);
    }
    out += "</svg>";
    return out;
}

}  // namespace wirepace::report
