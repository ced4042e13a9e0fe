// SPDX-License-Identifier: MIT
// The two windows of the controller, described once and without a toolkit: every control with
// its kind, container, position in the window's design unit, caption, font, colours, tab order
// and visibility. The Qt and the Win32 window create their controls from these tables only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/captions.h"

namespace wirepace::ui::forms {

enum class Kind {
    Frame,        // borderless container (frames and the button holders)
    Label,        // static text, transparent
    TextBox,      // single-line edit
    Password,     // single-line edit showing "*"
    DropList,     // drop-down list, pick only
    Button,       // push button
    ResultsBox,   // multi-line, read-only, vertical scroll bar
    ProgressBar,  // a bar filled in proportion to a value of 0 to 1000
    PictureBox,   // persistent drawing surface with a user scale
    Shape,        // rectangle outline
};

// Colours are either a system colour (the user's scheme) or a fixed RGB value.
enum class SystemColour { None, ButtonFace, HighlightText, WindowText, WindowBackground };

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

struct Colour {
    SystemColour system = SystemColour::None;  // None: `rgb` holds the colour
    Rgb rgb;
    friend bool operator==(const Colour&, const Colour&) = default;
};
constexpr Colour Sys(SystemColour c) {
    return {c, {}};
}
constexpr Colour Fixed(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return {SystemColour::None, {r, g, b}};
}

inline constexpr const char* kSansFace = "MS Sans Serif";
inline constexpr const char* kSerifFace = "MS Serif";

struct Font {
    const char* face = kSansFace;
    double points = 8.25;
    bool bold = false;
};

enum class Align { Left, Right, Centre };

struct ControlDesign {
    std::string name;  // the control's name; arrays as name_index ("lbl1_6")
    Kind kind = Kind::Label;
    std::string parent;                            // empty: the window itself
    int left = 0, top = 0, width = 0, height = 0;  // design units, relative to the container
    std::string caption;
    Font font;
    Colour back = Sys(SystemColour::ButtonFace);
    Colour fore = Sys(SystemColour::WindowText);
    bool visible = true;
    int tabIndex = -1;  // position in the tab chain, -1 for none
    int id = 0;         // control id, stable across builds (Win32 addresses controls by it)
    Align align = Align::Left;
    bool autoSize = false;   // labels: sized to their caption, `width` and `height` unused
    bool border = false;     // picture boxes: one-pixel frame around the drawing area
    bool isDefault = false;  // the window's default button
    bool isCancel = false;   // the button Esc presses
    std::string covers;      // frames: the page this one lies over while it is shown
};

enum class Unit { Twips, Pixels };

struct FormDesign {
    std::string name;
    Unit unit = Unit::Pixels;
    int clientWidth = 0, clientHeight = 0;  // design units
    Font font;
    std::vector<ControlDesign> controls;  // creation order: a later sibling lies over an earlier

    const ControlDesign& Control(std::string_view controlName) const;  // throws when unknown
    const ControlDesign* Find(std::string_view controlName) const;
    // The controls in tab order.
    std::vector<const ControlDesign*> TabChain() const;
};

// The room a label sized to its caption has, in design units: from its left edge to the
// nearest control to its right on the same line of the same container, else to the
// container's right edge.
int TextRoom(const FormDesign& form, const ControlDesign& label);

const FormDesign& MainForm();   // frmMain, twips
const FormDesign& GraphForm();  // frmTestGraph, pixels

// Design twips to device pixels at the screen's dots per inch (15 twips a pixel at 96).
constexpr int TwipsToPixels(int twips, int dpi) {
    return static_cast<int>(static_cast<long long>(twips) * dpi / 1440);
}

// Control ids, shared by the Win32 window and its tests.
namespace ids {
inline constexpr int fraTop = 1001, lbl1_6 = 1002, lbl1_7 = 1003, fra1_0 = 1004, lbl1_0 = 1005;
inline constexpr int cmbConnType = 1006, lbl1_1 = 1007, cmbConnSpeed = 1008, lbl1_2 = 1009;
inline constexpr int txtDirPath = 1010, lbl1_3 = 1011, txtUserName = 1012, lbl1_4 = 1013;
inline constexpr int txtPassword = 1014, fra1_2 = 1015, lbl1_8 = 1016, txtTestId = 1017;
inline constexpr int dummy_2 = 1018, cmdExit = 1019, cmdOk = 1020, fra1_1 = 1021, lbl1_5 = 1022;
inline constexpr int txtTestResults = 1023, fraBottom = 1024, dummy_0 = 1025, cmdBack = 1026;
inline constexpr int dummy_1 = 1027, cmdNext = 1028, prgTest = 1029, lblProgress = 1030;

inline constexpr int Label1 = 2001, picLabels = 2002, Graph = 2003, picScale = 2004;
inline constexpr int Shape1_0 = 2005, Shape1_1 = 2006, cmdClose = 2007, cmdSaveReport = 2008;
// Run-time created members: bar labels lbl1(2..8), scale labels lbl2(0..4), table cells.
inline constexpr int GraphLbl1Base = 2100, GraphLbl2Base = 2200, LblTBase = 2300;
}  // namespace ids

// Text that names the window and its states.
inline constexpr const char* kProgramTitle = "Wirepace";
// The buttons' captions are the wizard's state, shared with the run.
using captions::kBack;
using captions::kNewTest;
using captions::kRunTests;
inline constexpr const char* kFollowInstructions = "Follow the instructions and press Run Tests.";
inline constexpr const char* kNameNewTest = "Name new test:";
inline constexpr const char* kAlreadyRunning = "Program is already running.";
inline constexpr const char* kSaveReport = "Save Report...";

}  // namespace wirepace::ui::forms
