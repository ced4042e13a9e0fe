// SPDX-License-Identifier: MIT
#include "ui/win32/frm_test_graph_win32.h"

#include <commdlg.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "common/error.h"
#include "platform/platform.h"
#include "report/report_html.h"

namespace wirepace::ui::win32 {

namespace {

std::unique_ptr<FrmTestGraph> g_graph;

void RegisterGraphClass(HINSTANCE instance) {
    static bool done = false;
    if (done) return;
    done = true;
    RegisterTopLevelClass(instance, kGraphClass);
}

// The window-text colour with which lines and outlines are drawn.
const forms::Colour kLineColour = forms::Sys(forms::SystemColour::WindowText);

}  // namespace

FrmTestGraph::FrmTestGraph(const RunResult& result, const std::string& testName,
                           const std::string& logPath)
    // Designed in pixels of the standard 96 dots per inch: on a finer screen every position,
    // size and font grows by the same factor, so each text keeps the room the layout gives it.
    : host_(forms::GraphForm(), ScreenDpi()),
      result_(result),
      testName_(testName),
      logPath_(logPath) {
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    RegisterGraphClass(instance);
    const forms::FormDesign& form = forms::GraphForm();
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    RECT r{0, 0, host_.Px(form.clientWidth), host_.Px(form.clientHeight)};
    ::AdjustWindowRectEx(&r, style, FALSE, WS_EX_CONTROLPARENT);
    hwnd_ = ::CreateWindowExW(WS_EX_CONTROLPARENT, kGraphClass, L"", style, CW_USEDEFAULT,
                              CW_USEDEFAULT, r.right - r.left, r.bottom - r.top, nullptr, nullptr,
                              instance, nullptr);
    if (!hwnd_) throw std::runtime_error("cannot create the results window");
    ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    ::SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&FrmTestGraph::WindowProc));
    host_.Create(hwnd_);

    const forms::GraphPicture picture = forms::LoadGraph(result, testName);
    maxSpeed_ = picture.chart.maxSpeed;
    ::SetWindowTextW(hwnd_, Wide(picture.caption).c_str());
    DrawChart(picture.chart);
    DrawTable(picture.table);

    ::ShowWindow(hwnd_, SW_SHOW);
    ::UpdateWindow(hwnd_);
    ::SetFocus(host_.Hwnd("cmdClose"));
}

FrmTestGraph::~FrmTestGraph() {
    if (hwnd_) {
        ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        ::DestroyWindow(hwnd_);
    }
}

void FrmTestGraph::DrawChart(const forms::Chart& chart) {
    // The chart: the shared primitives rasterised into the picture box's bitmap.
    Control& graph = host_.Get("Graph");
    Surface& s = *graph.surface;
    const COLORREF face = ToColorRef(graph.back);
    forms::Raster raster(s.width, s.height, {GetRValue(face), GetGValue(face), GetBValue(face)});
    raster.SetScale(chart.scaleWidth, chart.scaleHeight);
    for (const forms::Primitive& p : chart.graph) raster.Draw(p);
    std::memcpy(s.bits, raster.Pixels().data(), raster.Pixels().size() * sizeof(std::uint32_t));
    ::GdiFlush();

    // "KB/s", printed into the strip below at its user position.
    Control& strip = host_.Get("picScale");
    Surface& under = *strip.surface;
    const forms::PixelMap scaleMap{under.width, under.height, chart.scaleWidth, 0};
    HGDIOBJ old = ::SelectObject(under.dc, host_.FontFor(chart.unit.font));
    ::SetBkMode(under.dc, TRANSPARENT);
    ::SetTextColor(under.dc, ::GetSysColor(COLOR_WINDOWTEXT));
    const std::wstring unit = Wide(chart.unit.text);
    ::TextOutW(under.dc, forms::PixelOf(scaleMap.ToPixelX(chart.unit.x)),
               host_.Px(forms::PixelOf(chart.unit.y)), unit.c_str(), static_cast<int>(unit.size()));
    ::SelectObject(under.dc, old);

    // Bar labels: right-aligned copies of lbl1(2), ending where it ends.
    const Control& barModel = host_.Get("lbl1_2");
    for (const forms::BarLabel& b : chart.barLabels) {
        const std::string name = "lbl1_" + std::to_string(b.index);
        Control& label = host_.Find(name) ? host_.Get(name)
                                          : host_.AddLabelLike(name, barModel,
                                                               forms::ids::GraphLbl1Base + b.index);
        ::SetWindowTextW(label.hwnd, Wide(b.text).c_str());
        host_.SizeToText(label);
        RECT lr;
        ::GetWindowRect(label.hwnd, &lr);
        const int width = lr.right - lr.left;
        ::SetWindowPos(label.hwnd, nullptr, host_.Px(b.right) - width, host_.Px(b.topPixel), 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        ::ShowWindow(label.hwnd, SW_SHOWNA);
    }
    // Scale labels: copies of lbl2(0), centred on their step.
    const Control& scaleModel = host_.Get("lbl2_0");
    for (const forms::ScaleLabel& l : chart.scaleLabels) {
        const std::string name = "lbl2_" + std::to_string(l.step);
        Control& label = host_.Find(name) ? host_.Get(name)
                                          : host_.AddLabelLike(name, scaleModel,
                                                               forms::ids::GraphLbl2Base + l.step);
        if (l.visible) {
            ::SetWindowTextW(label.hwnd, Wide(l.text).c_str());
            host_.SizeToText(label);
            ::ShowWindow(label.hwnd, SW_SHOWNA);
        }
        RECT lr;
        ::GetWindowRect(label.hwnd, &lr);
        // Placed in the design's pixels, then scaled; still never past the strip's edge.
        const int width = lr.right - lr.left;
        const int left = std::min(host_.Px(forms::ScaleLabelLeft(l, host_.Unscaled(width))),
                                  under.width - width);
        ::SetWindowPos(label.hwnd, nullptr, left, host_.Px(l.top), 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    ::InvalidateRect(graph.hwnd, nullptr, FALSE);
    ::InvalidateRect(strip.hwnd, nullptr, FALSE);
}

void FrmTestGraph::DrawTable(const forms::Table& table) {
    for (int i = 0; i < forms::kTableCells; ++i) {
        const std::string name = "lblT_" + std::to_string(i);
        ::SetWindowTextW(host_.Hwnd(name), Wide(table.texts[static_cast<std::size_t>(i)]).c_str());
    }
    // A line covers its first end pixel and stops before the second; scaled by its edges, so
    // lines and bands still meet.
    auto place = [this](const forms::GridLine& line) {
        const bool vertical = line.x1 == line.x2;
        const int left = vertical ? line.x1 : std::min(line.x1, line.x2);
        const int top = vertical ? std::min(line.y1, line.y2) : line.y1;
        const int width = vertical ? 1 : std::max(1, std::abs(line.x2 - line.x1));
        const int height = vertical ? std::max(1, std::abs(line.y2 - line.y1)) : 1;
        const RECT r = host_.PxRect(left, top, width, height);
        Control& c = host_.AddFill(line.name, kLineColour, r.left, r.top, r.right - r.left,
                                   r.bottom - r.top);
        ::SetWindowPos(c.hwnd, line.front ? HWND_TOP : HWND_BOTTOM, 0, 0, 0, 0,
                       SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    };
    for (const forms::GridLine& line : table.vertical) place(line);
    for (const forms::GridLine& line : table.horizontal) place(line);
    // The bands lie behind every cell and line.
    for (const forms::Band& band : table.bands) {
        const RECT r = host_.PxRect(band.left, band.top, band.width, band.height);
        Control& c = host_.AddFill(band.name, band.colour, r.left, r.top, r.right - r.left,
                                   r.bottom - r.top);
        ::SetWindowPos(c.hwnd, HWND_BOTTOM, 0, 0, 0, 0,
                       SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    }
}

LRESULT CALLBACK FrmTestGraph::WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = reinterpret_cast<FrmTestGraph*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return ::DefWindowProcW(hwnd, msg, wp, lp);
    return self->Handle(msg, wp, lp);
}

LRESULT FrmTestGraph::Handle(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_COMMAND:
            // IDCANCEL: Esc, as the dialog manager reports it.
            if ((LOWORD(wp) == forms::ids::cmdClose && HIWORD(wp) == BN_CLICKED) ||
                LOWORD(wp) == IDCANCEL) {
                forms::cmdClose_Click(*this);
                return 0;
            }
            if (LOWORD(wp) == forms::ids::cmdSaveReport && HIWORD(wp) == BN_CLICKED) {
                forms::cmdSaveReport_Click(*this, testName_, result_.startedAt);
                return 0;
            }
            break;
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
            if (LRESULT brush =
                    host_.OnCtlColor(reinterpret_cast<HDC>(wp), reinterpret_cast<HWND>(lp)))
                return brush;
            break;
        case WM_PAINT: {
            // The two rectangle outlines are drawn by the window itself.
            PAINTSTRUCT ps;
            HDC dc = ::BeginPaint(hwnd_, &ps);
            HBRUSH frame = ::GetSysColorBrush(COLOR_WINDOWTEXT);
            for (const char* name : {"Shape1_0", "Shape1_1"}) {
                const forms::ControlDesign& s = host_.Form().Control(name);
                const RECT r = host_.PxRect(s.left, s.top, s.width, s.height);
                ::FrameRect(dc, &r, frame);
            }
            ::EndPaint(hwnd_, &ps);
            return 0;
        }
        case WM_CLOSE:
            CloseTestGraph();
            return 0;
        default:
            break;
    }
    return ::DefWindowProcW(hwnd_, msg, wp, lp);
}

std::string FrmTestGraph::AskReportPath(const std::string& suggestedName) {
    std::wstring file = Wide(suggestedName);
    file.resize(32768, L'\0');
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = hwnd_;
    dialog.lpstrFilter = L"HTML files (*.html)\0*.html\0All files (*.*)\0*.*\0";
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = static_cast<DWORD>(file.size());
    dialog.lpstrDefExt = L"html";
    const std::wstring title = Wide(forms::kSaveReport).substr(0, 11);  // without the dots
    dialog.lpstrTitle = title.c_str();
    dialog.Flags =
        OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
    if (!::GetSaveFileNameW(&dialog)) return {};
    return Utf8(file.c_str());
}

std::optional<std::string> FrmTestGraph::WriteReport(const std::string& path) {
    try {
        report::SaveReport(path, {result_}, logPath_);
    } catch (const RuntimeError& e) {
        return report::SaveFailureText(path, e);
    }
    return std::nullopt;
}

void FrmTestGraph::ShowMessage(const std::string& text) {
    // Unattended runs (the tests) cannot click a message box away.
    if (platform::GetEnv("WIREPACE_NO_MESSAGE_BOX")) {
        std::fprintf(stderr, "%s\n", text.c_str());
        return;
    }
    ::MessageBoxW(hwnd_, Wide(text).c_str(), Wide(forms::kProgramTitle).c_str(),
                  MB_OK | MB_ICONWARNING);
}

void FrmTestGraph::CloseWindow() {
    CloseTestGraph();
}

void LoadTestGraph(const RunResult& result, const std::string& testName,
                   const std::string& logPath) {
    if (g_graph) {
        ::SetForegroundWindow(g_graph->Hwnd());
        return;
    }
    g_graph = std::make_unique<FrmTestGraph>(result, testName, logPath);
}

void CloseTestGraph() {
    // The window goes after the message that closed it has been handled.
    if (g_graph) {
        std::unique_ptr<FrmTestGraph> closing = std::move(g_graph);
        closing.reset();
    }
}

FrmTestGraph* TestGraphWindow() {
    return g_graph.get();
}

}  // namespace wirepace::ui::win32
