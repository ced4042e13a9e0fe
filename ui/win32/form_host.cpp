// SPDX-License-Identifier: MIT
#include "ui/win32/form_host.h"
#include "ui/win32/themed_controls.h"

#include <commctrl.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace wirepace::ui::win32 {

using forms::Align;
using forms::Kind;

namespace {

int SystemIndex(forms::SystemColour colour) {
    switch (colour) {
        case forms::SystemColour::ButtonFace:
            return COLOR_BTNFACE;
        case forms::SystemColour::HighlightText:
            return COLOR_HIGHLIGHTTEXT;
        case forms::SystemColour::WindowText:
            return COLOR_WINDOWTEXT;
        case forms::SystemColour::WindowBackground:
            return COLOR_WINDOW;
        case forms::SystemColour::None:
            break;
    }
    return COLOR_BTNFACE;
}

Control* ControlOf(HWND hwnd) {
    return reinterpret_cast<Control*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

// Frames paint their colour and hand everything their children report to the top window,
// which owns the handlers.
LRESULT CALLBACK FrameProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_COMMAND:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
            return ::SendMessageW(::GetAncestor(hwnd, GA_ROOT), msg, wp, lp);
        case WM_ERASEBKGND: {
            Control* c = ControlOf(hwnd);
            RECT r;
            ::GetClientRect(hwnd, &r);
            ::FillRect(reinterpret_cast<HDC>(wp), &r,
                       c && c->brush ? c->brush : ::GetSysColorBrush(COLOR_BTNFACE));
            return 1;
        }
        default:
            break;
    }
    return ::DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT CALLBACK PictureProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_COMMAND:
        case WM_CTLCOLORSTATIC:
            return ::SendMessageW(::GetAncestor(hwnd, GA_ROOT), msg, wp, lp);
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = ::BeginPaint(hwnd, &ps);
            Control* c = ControlOf(hwnd);
            RECT r;
            ::GetClientRect(hwnd, &r);
            if (c && c->surface) {
                const Surface& s = *c->surface;
                const int b = s.border ? 1 : 0;
                if (s.border) {
                    HBRUSH frame = ::GetSysColorBrush(COLOR_WINDOWTEXT);
                    ::FrameRect(dc, &r, frame);
                }
                ::BitBlt(dc, b, b, s.width, s.height, s.dc, 0, 0, SRCCOPY);
            } else {
                ::FillRect(dc, &r, ::GetSysColorBrush(COLOR_BTNFACE));
            }
            ::EndPaint(hwnd, &ps);
            return 0;
        }
        default:
            break;
    }
    return ::DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT CALLBACK FillProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_ERASEBKGND) return 1;
    if (msg == WM_NCHITTEST) return HTTRANSPARENT;
    if (msg == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(hwnd, &ps);
        Control* c = ControlOf(hwnd);
        RECT r;
        ::GetClientRect(hwnd, &r);
        ::FillRect(dc, &r, c && c->brush ? c->brush : ::GetSysColorBrush(COLOR_WINDOWTEXT));
        ::EndPaint(hwnd, &ps);
        return 0;
    }
    return ::DefWindowProcW(hwnd, msg, wp, lp);
}

std::unique_ptr<Surface> MakeSurface(int width, int height, bool border, COLORREF background) {
    auto s = std::make_unique<Surface>();
    s->border = border;
    s->width = std::max(1, width - (border ? 2 : 0));
    s->height = std::max(1, height - (border ? 2 : 0));
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = s->width;
    info.bmiHeader.biHeight = -s->height;  // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC screen = ::GetDC(nullptr);
    s->dc = ::CreateCompatibleDC(screen);
    ::ReleaseDC(nullptr, screen);
    s->bitmap = ::CreateDIBSection(s->dc, &info, DIB_RGB_COLORS, &s->bits, nullptr, 0);
    if (!s->dc || !s->bitmap) throw std::runtime_error("cannot create a drawing surface");
    s->previous = ::SelectObject(s->dc, s->bitmap);
    RECT r{0, 0, s->width, s->height};
    HBRUSH brush = ::CreateSolidBrush(background);
    ::FillRect(s->dc, &r, brush);
    ::DeleteObject(brush);
    return s;
}

}  // namespace

Surface::~Surface() {
    if (dc && previous) ::SelectObject(dc, previous);
    if (bitmap) ::DeleteObject(bitmap);
    if (dc) ::DeleteDC(dc);
}

COLORREF ToColorRef(const forms::Colour& colour) {
    if (colour.system != forms::SystemColour::None)
        return ::GetSysColor(SystemIndex(colour.system));
    return RGB(colour.rgb.r, colour.rgb.g, colour.rgb.b);
}

int ScreenDpi() {
    HDC screen = ::GetDC(nullptr);
    const int dpi = screen ? ::GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) ::ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

void RegisterTopLevelClass(HINSTANCE instance, const wchar_t* className) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.hInstance = instance;
    wc.lpszClassName = className;
    wc.lpfnWndProc = DefWindowProcW;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = ::GetSysColorBrush(COLOR_BTNFACE);
    wc.hIcon = static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                               ::GetSystemMetrics(SM_CXICON),
                                               ::GetSystemMetrics(SM_CYICON), 0));
    wc.hIconSm = static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                                 ::GetSystemMetrics(SM_CXSMICON),
                                                 ::GetSystemMetrics(SM_CYSMICON), 0));
    ::RegisterClassExW(&wc);
}

void FormHost::RegisterClasses(HINSTANCE instance) {
    static bool done = false;
    if (done) return;
    done = true;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.lpfnWndProc = FrameProc;
    wc.lpszClassName = kFrameClass;
    ::RegisterClassExW(&wc);
    wc.lpfnWndProc = PictureProc;
    wc.lpszClassName = kPictureClass;
    ::RegisterClassExW(&wc);
    wc.lpfnWndProc = FillProc;
    wc.lpszClassName = kFillClass;
    ::RegisterClassExW(&wc);
}

FormHost::FormHost(const forms::FormDesign& form, int dpi) : form_(form), dpi_(dpi) {}

FormHost::~FormHost() {
    for (auto& c : controls_)
        if (c->brush) ::DeleteObject(c->brush);
    for (auto& [key, font] : fonts_) ::DeleteObject(font);
}

int FormHost::Px(int units) const {
    if (form_.unit == forms::Unit::Twips) return forms::TwipsToPixels(units, dpi_);
    return ::MulDiv(units, dpi_, 96);
}

int FormHost::Unscaled(int pixels) const {
    if (form_.unit == forms::Unit::Twips) return pixels;
    return ::MulDiv(pixels, 96, dpi_);
}

RECT FormHost::PxRect(int left, int top, int width, int height) const {
    return RECT{Px(left), Px(top), Px(left + width), Px(top + height)};
}

HFONT FormHost::FontFor(const forms::Font& font) {
    const std::string key =
        std::string(font.face) + "/" + std::to_string(font.points) + (font.bold ? "b" : "");
    if (auto it = fonts_.find(key); it != fonts_.end()) return it->second;
    // A form laid out in pixels grows by dpi / 96, and its text must not outgrow its room:
    // 8.25 points at 144 dots per inch are 16.5 pixels, and 17 cut the longest bar label.
    const double exact = font.points * dpi_ / 72.0;
    const int height = -static_cast<int>(
        form_.unit == forms::Unit::Twips ? std::lround(exact) : std::floor(exact + 1e-9));
    HFONT f = ::CreateFontW(height, 0, 0, 0, font.bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                            DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                            DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, Wide(font.face).c_str());
    fonts_[key] = f;
    return f;
}

HWND FormHost::ParentOf(const forms::ControlDesign& design) const {
    return design.parent.empty() ? window_ : Hwnd(design.parent);
}

void FormHost::Create(HWND window) {
    window_ = window;
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    RegisterClasses(instance);
    for (const forms::ControlDesign& design : form_.controls) {
        auto c = std::make_unique<Control>();
        c->design = &design;
        c->name = design.name;
        c->back = design.back;
        c->fore = design.fore;
        c->align = design.align;
        c->autoSize = design.autoSize;
        c->font = FontFor(design.font);
        DWORD style = WS_CHILD | WS_CLIPSIBLINGS | (design.visible ? WS_VISIBLE : 0);
        DWORD exStyle = 0;
        const wchar_t* cls = L"STATIC";
        switch (design.kind) {
            case Kind::Frame:
                cls = kFrameClass;
                style |= WS_CLIPCHILDREN;
                exStyle |= WS_EX_CONTROLPARENT;
                break;
            case Kind::Label:
                style |= SS_NOPREFIX | (design.align == Align::Right    ? SS_RIGHT
                                        : design.align == Align::Centre ? SS_CENTER
                                                                        : SS_LEFT);
                // Sized to its caption up to its room (SizeToText): what is longer ends in
                // "..." instead of being cut at the edge.
                if (design.autoSize && design.align == Align::Left) style |= SS_ENDELLIPSIS;
                break;
            case Kind::TextBox:
            case Kind::Password:
                cls = L"EDIT";
                style |=
                    WS_TABSTOP | ES_AUTOHSCROLL | (design.kind == Kind::Password ? ES_PASSWORD : 0);
                exStyle |= WS_EX_CLIENTEDGE;
                break;
            case Kind::DropList:
                cls = L"COMBOBOX";
                style |= WS_TABSTOP | CBS_DROPDOWNLIST | WS_VSCROLL;
                break;
            case Kind::Button:
                cls = L"BUTTON";
                style |= WS_TABSTOP | (design.isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
                break;
            case Kind::ResultsBox:
                cls = L"EDIT";
                style |= WS_TABSTOP | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL;
                exStyle |= WS_EX_CLIENTEDGE;
                break;
            case Kind::ProgressBar:
                RegisterProgressClass();
                cls = PROGRESS_CLASSW;
                break;
            case Kind::PictureBox:
                cls = kPictureClass;
                style |= WS_CLIPCHILDREN;
                break;
            case Kind::Shape:
                // Drawn by the form itself: an outline has no window of its own.
                controls_.push_back(std::move(c));
                continue;
        }
        int height = Px(design.height);
        // A drop-down list's window height includes its open list.
        if (design.kind == Kind::DropList) height = Px(design.height) * 8;
        const HWND parent = ParentOf(design);
        c->hwnd = ::CreateWindowExW(
            exStyle, cls, Wide(design.caption).c_str(), style, Px(design.left), Px(design.top),
            Px(design.width), height, parent,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(design.id)), instance, nullptr);
        if (!c->hwnd) throw std::runtime_error("cannot create control " + design.name);
        ::SetWindowLongPtrW(c->hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(c.get()));
        ::SendMessageW(c->hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(c->font), FALSE);
        // Later siblings lie over earlier ones.
        ::SetWindowPos(c->hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        if (design.kind == Kind::Frame || design.kind == Kind::Label ||
            design.kind == Kind::PictureBox)
            c->brush = ::CreateSolidBrush(ToColorRef(design.back));
        if (design.kind == Kind::Password) ::SendMessageW(c->hwnd, EM_SETPASSWORDCHAR, L'*', 0);
        if (design.kind == Kind::ProgressBar) ::SendMessageW(c->hwnd, PBM_SETRANGE32, 0, 1000);
        if (design.kind == Kind::PictureBox)
            c->surface = MakeSurface(Px(design.width), Px(design.height), design.border,
                                     ToColorRef(design.back));
        Control& made = *c;
        controls_.push_back(std::move(c));
        if (made.autoSize) SizeToText(made);
    }
}

Control* FormHost::Find(std::string_view name) {
    for (auto& c : controls_)
        if (c->name == name) return c.get();
    return nullptr;
}

const Control* FormHost::Find(std::string_view name) const {
    for (const auto& c : controls_)
        if (c->name == name) return c.get();
    return nullptr;
}

Control& FormHost::Get(std::string_view name) {
    if (Control* c = Find(name)) return *c;
    throw std::out_of_range("no control " + std::string(name));
}

const Control& FormHost::Get(std::string_view name) const {
    if (const Control* c = Find(name)) return *c;
    throw std::out_of_range("no control " + std::string(name));
}

Control* FormHost::FromHwnd(HWND hwnd) {
    for (auto& c : controls_)
        if (c->hwnd == hwnd) return c.get();
    return nullptr;
}

Control& FormHost::AddLabelLike(const std::string& name, const Control& model, int id) {
    auto c = std::make_unique<Control>();
    c->name = name;
    c->back = model.back;
    c->fore = model.fore;
    c->align = model.align;
    c->font = model.font;
    RECT r;
    ::GetWindowRect(model.hwnd, &r);
    POINT at{r.left, r.top};
    HWND parent = ::GetParent(model.hwnd);
    ::ScreenToClient(parent, &at);
    const DWORD style = static_cast<DWORD>(::GetWindowLongPtrW(model.hwnd, GWL_STYLE)) &
                        ~static_cast<DWORD>(WS_VISIBLE);
    c->hwnd = ::CreateWindowExW(
        0, L"STATIC", L"", style, at.x, at.y, r.right - r.left, r.bottom - r.top, parent,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ::GetModuleHandleW(nullptr), nullptr);
    if (!c->hwnd) throw std::runtime_error("cannot create control " + name);
    ::SetWindowLongPtrW(c->hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(c.get()));
    ::SendMessageW(c->hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(c->font), FALSE);
    c->brush = ::CreateSolidBrush(ToColorRef(c->back));
    controls_.push_back(std::move(c));
    return *controls_.back();
}

Control& FormHost::AddFill(const std::string& name, const forms::Colour& colour, int left, int top,
                           int width, int height) {
    auto c = std::make_unique<Control>();
    c->name = name;
    c->back = colour;
    c->brush = ::CreateSolidBrush(ToColorRef(colour));
    c->hwnd = ::CreateWindowExW(0, kFillClass, L"", WS_CHILD | WS_CLIPSIBLINGS, left, top, width,
                                height, window_, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    if (!c->hwnd) throw std::runtime_error("cannot create control " + name);
    ::SetWindowLongPtrW(c->hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(c.get()));
    controls_.push_back(std::move(c));
    return *controls_.back();
}

std::string FormHost::Text(std::string_view name) const {
    const Control& c = Get(name);
    if (c.design && c.design->kind == Kind::DropList) {
        const LRESULT index = ::SendMessageW(c.hwnd, CB_GETCURSEL, 0, 0);
        if (index == CB_ERR) return {};
        const LRESULT n = ::SendMessageW(c.hwnd, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
        std::wstring text(static_cast<std::size_t>(std::max<LRESULT>(n, 0)) + 1, L'\0');
        ::SendMessageW(c.hwnd, CB_GETLBTEXT, static_cast<WPARAM>(index),
                       reinterpret_cast<LPARAM>(text.data()));
        text.resize(static_cast<std::size_t>(std::max<LRESULT>(n, 0)));
        return Utf8(text);
    }
    const int n = ::GetWindowTextLengthW(c.hwnd);
    std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
    const int got = ::GetWindowTextW(c.hwnd, text.data(), n + 1);
    text.resize(static_cast<std::size_t>(std::max(got, 0)));
    return Utf8(text);
}

void FormHost::SetText(std::string_view name, const std::string& text) {
    Control& c = Get(name);
    ::SetWindowTextW(c.hwnd, Wide(text).c_str());
    if (c.autoSize) SizeToText(c);
}

void FormHost::SetBack(std::string_view name, const forms::Colour& colour) {
    Control& c = Get(name);
    c.back = colour;
    if (c.brush) ::DeleteObject(c.brush);
    c.brush = ::CreateSolidBrush(ToColorRef(colour));
    ::InvalidateRect(c.hwnd, nullptr, TRUE);
}

void FormHost::SizeToText(Control& c) {
    const int n = ::GetWindowTextLengthW(c.hwnd);
    std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
    text.resize(static_cast<std::size_t>(::GetWindowTextW(c.hwnd, text.data(), n + 1)));
    HDC dc = ::GetDC(c.hwnd);
    HGDIOBJ old = ::SelectObject(dc, c.font);
    RECT r{0, 0, 0, 0};
    if (text.empty()) {
        TEXTMETRICW tm;
        ::GetTextMetricsW(dc, &tm);
        r.bottom = tm.tmHeight;
    } else {
        ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r,
                    DT_CALCRECT | DT_NOPREFIX | DT_SINGLELINE);
    }
    ::SelectObject(dc, old);
    ::ReleaseDC(c.hwnd, dc);
    RECT now;
    ::GetWindowRect(c.hwnd, &now);
    POINT at{now.left, now.top};
    ::ScreenToClient(::GetParent(c.hwnd), &at);
    const int oldWidth = now.right - now.left;
    if (c.design && c.align == Align::Left)
        r.right = std::min<LONG>(r.right, Px(forms::TextRoom(form_, *c.design)));
    int left = at.x;
    if (c.align == Align::Right) left = at.x + oldWidth - r.right;
    if (c.align == Align::Centre) left = at.x + oldWidth / 2 - r.right / 2;
    // The label painted its new text into its old box as the text was set: no bits of that
    // box may be kept in the new one. The container repaints where the old box and the new one
    // lie, the label whole among its siblings there: a frame clips its children, so asking
    // the frame alone left the label's stale pixels in place.
    const RECT before{at.x, at.y, at.x + oldWidth, at.y + (now.bottom - now.top)};
    ::SetWindowPos(c.hwnd, nullptr, left, at.y, r.right, r.bottom,
                   SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOCOPYBITS);
    const RECT after{left, at.y, left + r.right, at.y + r.bottom};
    RECT both;
    ::UnionRect(&both, &before, &after);
    ::RedrawWindow(::GetParent(c.hwnd), &both, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

LRESULT FormHost::OnCtlColor(HDC dc, HWND child) {
    Control* c = FromHwnd(child);
    if (!c) return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
    if (c->design && c->design->kind == Kind::ResultsBox) {
        // Read-only, yet it reads like the log it is: window colours, not greyed.
        ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
        ::SetBkColor(dc, ::GetSysColor(COLOR_WINDOW));
        return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_WINDOW));
    }
    if (c->design && (c->design->kind == Kind::TextBox || c->design->kind == Kind::Password ||
                      c->design->kind == Kind::DropList || c->design->kind == Kind::Button))
        return 0;
    ::SetTextColor(dc, ToColorRef(c->fore));
    // A label shows its container through: it paints with the container's colour.
    Control* container = FromHwnd(::GetParent(child));
    const bool ownBackground =
        c->design && c->design->back != forms::Sys(forms::SystemColour::ButtonFace);
    HBRUSH brush = c->brush;
    COLORREF background = ToColorRef(c->back);
    if (!ownBackground && container && container->brush) {
        brush = container->brush;
        background = ToColorRef(container->back);
    }
    ::SetBkColor(dc, background);
    ::SetBkMode(dc, OPAQUE);
    return reinterpret_cast<LRESULT>(brush ? brush : ::GetSysColorBrush(COLOR_BTNFACE));
}

}  // namespace wirepace::ui::win32
