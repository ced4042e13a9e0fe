// SPDX-License-Identifier: MIT
// Creates the controls of a described window as native child windows and keeps what each one
// needs to paint: its font, its colours and, for a picture box, its persistent bitmap.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// The platform layer has functions of these names.
#undef CopyFile
#undef DeleteFile

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text_win32.h"
#include "ui/forms/form_design.h"

namespace wirepace::ui::win32 {

COLORREF ToColorRef(const forms::Colour& colour);
// Text crosses the Win32 API as UTF-16, through the platform layer's one converter.
inline std::wstring Wide(const std::string& utf8) {
    return platform::win32::Widen(utf8);
}
inline std::string Utf8(const std::wstring& utf16) {
    return platform::win32::Narrow(utf16);
}

// The screen's dots per inch (after the program declared itself aware of them).
int ScreenDpi();

// Registers the class of a top-level window of the program: button-face background, arrow
// pointer, the program's icon (resource 1) in both sizes. Each window replaces the procedure
// once it exists.
void RegisterTopLevelClass(HINSTANCE instance, const wchar_t* className);

// A picture box's drawing surface: a device-independent bitmap of the area inside the border
// that keeps everything drawn into it across repaints.
struct Surface {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ previous = nullptr;
    void* bits = nullptr;  // 32-bit top-down rows, 0x00RRGGBB
    int width = 0, height = 0;
    bool border = false;
    ~Surface();
};

struct Control {
    const forms::ControlDesign* design = nullptr;  // null for controls made at run time
    std::string name;
    HWND hwnd = nullptr;
    HFONT font = nullptr;
    forms::Colour back;
    forms::Colour fore;
    HBRUSH brush = nullptr;  // of `back`
    forms::Align align = forms::Align::Left;
    bool autoSize = false;
    std::unique_ptr<Surface> surface;  // picture boxes
};

class FormHost {
  public:
    // `dpi` converts twips; a form designed in pixels has them at 96 dots per inch and grows
    // with the screen's, as the fonts do.
    FormHost(const forms::FormDesign& form, int dpi);
    ~FormHost();
    FormHost(const FormHost&) = delete;
    FormHost& operator=(const FormHost&) = delete;

    // Creates every described control inside `window`; a later sibling lies over an earlier.
    void Create(HWND window);

    // Design units of this form to pixels, and back (for pixel forms).
    int Px(int units) const;
    int Unscaled(int pixels) const;
    // A rectangle of design units to pixels by its edges, so neighbours still meet.
    RECT PxRect(int left, int top, int width, int height) const;
    const forms::FormDesign& Form() const { return form_; }
    int Dpi() const { return dpi_; }

    Control* Find(std::string_view name);
    const Control* Find(std::string_view name) const;
    Control& Get(std::string_view name);
    const Control& Get(std::string_view name) const;
    Control* FromHwnd(HWND hwnd);
    HWND Hwnd(std::string_view name) const { return Get(name).hwnd; }

    // A label made at run time as a copy of `model` (same font, size, alignment), hidden.
    Control& AddLabelLike(const std::string& name, const Control& model, int id);
    // A borderless child of the form filled with one colour (`lineColour`: the window-text
    // colour), e.g. a grid line or a background band.
    Control& AddFill(const std::string& name, const forms::Colour& colour, int left, int top,
                     int width, int height);

    std::string Text(std::string_view name) const;
    // Labels sized to their text keep their left edge, their right edge when right-aligned,
    // or their centre when centred.
    void SetText(std::string_view name, const std::string& text);
    void SetBack(std::string_view name, const forms::Colour& colour);
    void SizeToText(Control& c);

    HFONT FontFor(const forms::Font& font);

    // WM_CTLCOLOR* for a child: its colours, labels transparent over their container.
    LRESULT OnCtlColor(HDC dc, HWND child);

    // Window classes for frames, picture boxes and fills; every message a frame receives from
    // its children goes up to the top-level window.
    static void RegisterClasses(HINSTANCE instance);

  private:
    HWND ParentOf(const forms::ControlDesign& design) const;

    const forms::FormDesign& form_;
    int dpi_;
    HWND window_ = nullptr;
    std::vector<std::unique_ptr<Control>> controls_;
    std::map<std::string, HFONT, std::less<>> fonts_;
};

inline constexpr const wchar_t* kFrameClass = L"WirepaceFrame";
inline constexpr const wchar_t* kPictureClass = L"WirepacePicture";
inline constexpr const wchar_t* kFillClass = L"WirepaceFill";

}  // namespace wirepace::ui::win32
