// SPDX-License-Identifier: MIT
#include "ui/forms/form_design.h"

#include <algorithm>
#include <stdexcept>

#include "ui/forms/graph_picture.h"

namespace wirepace::ui::forms {

namespace {

const Colour kBannerGrey = Fixed(128, 128, 128);
const Colour kHeaderBackground = Fixed(192, 192, 0);

ControlDesign C(std::string name, Kind kind, std::string parent, int left, int top, int width,
                int height, std::string caption, int id) {
    ControlDesign c;
    c.name = std::move(name);
    c.kind = kind;
    c.parent = std::move(parent);
    c.left = left;
    c.top = top;
    c.width = width;
    c.height = height;
    c.caption = std::move(caption);
    c.id = id;
    return c;
}

// A label sized to its caption: only the position counts.
ControlDesign AutoLabel(std::string name, std::string parent, int left, int top,
                        std::string caption, int id) {
    ControlDesign c =
        C(std::move(name), Kind::Label, std::move(parent), left, top, 0, 0, std::move(caption), id);
    c.autoSize = true;
    return c;
}

FormDesign BuildMainForm() {
    FormDesign f;
    f.name = "frmMain";
    f.unit = Unit::Twips;
    f.clientWidth = 7335;
    f.clientHeight = 5415;
    f.font = Font{kSansFace, 8.25, false};
    auto& v = f.controls;

    ControlDesign fraTop = C("fraTop", Kind::Frame, "", 0, 0, 7335, 855, "", ids::fraTop);
    fraTop.back = kBannerGrey;
    v.push_back(fraTop);
    ControlDesign name = AutoLabel("lbl1_6", "fraTop", 120, 120, "testid", ids::lbl1_6);
    name.font = Font{kSansFace, 13.5, true};
    name.fore = Sys(SystemColour::HighlightText);
    v.push_back(name);
    ControlDesign instruction = AutoLabel("lbl1_7", "fraTop", 420, 540, kNameNewTest, ids::lbl1_7);
    instruction.font = Font{kSansFace, 9.75, false};
    instruction.fore = Sys(SystemColour::HighlightText);
    v.push_back(instruction);

    // Settings page.
    v.push_back(C("fra1_0", Kind::Frame, "", 0, 840, 7335, 3735, "", ids::fra1_0));
    v.push_back(AutoLabel("lbl1_0", "fra1_0", 540, 780,
                          "Please select type of connection to test:", ids::lbl1_0));
    v.push_back(
        C("cmbConnType", Kind::DropList, "fra1_0", 4200, 720, 2415, 315, "", ids::cmbConnType));
    v.push_back(AutoLabel("lbl1_1", "fra1_0", 540, 1200,
                          "Please select estimated connection speed:", ids::lbl1_1));
    v.push_back(
        C("cmbConnSpeed", Kind::DropList, "fra1_0", 4200, 1140, 2415, 315, "", ids::cmbConnSpeed));
    v.push_back(AutoLabel("lbl1_2", "fra1_0", 540, 2040,
                          "Please type in full path of a target directory:", ids::lbl1_2));
    v.push_back(C("txtDirPath", Kind::TextBox, "fra1_0", 4200, 1980, 2415, 315, "\\\\server\\share",
                  ids::txtDirPath));
    v.push_back(AutoLabel("lbl1_3", "fra1_0", 2820, 2520, "Username:", ids::lbl1_3));
    v.push_back(C("txtUserName", Kind::TextBox, "fra1_0", 4200, 2460, 2415, 315, "benchmark",
                  ids::txtUserName));
    v.push_back(AutoLabel("lbl1_4", "fra1_0", 2820, 2880, "Password:", ids::lbl1_4));
    v.push_back(C("txtPassword", Kind::Password, "fra1_0", 4200, 2820, 2415, 315, "password",
                  ids::txtPassword));

    // Name page, over the settings page.
    ControlDesign namePage = C("fra1_2", Kind::Frame, "", 420, 1260, 6435, 2835, "", ids::fra1_2);
    namePage.covers = "fra1_0";
    v.push_back(namePage);
    v.push_back(
        AutoLabel("lbl1_8", "fra1_2", 840, 1020, "Enter a name for this test:", ids::lbl1_8));
    v.push_back(
        C("txtTestId", Kind::TextBox, "fra1_2", 3000, 960, 2295, 315, "MyServer", ids::txtTestId));
    v.push_back(C("dummy_2", Kind::Frame, "fra1_2", 3180, 1380, 2115, 375, "", ids::dummy_2));
    v.push_back(
        C("cmdExit", Kind::Button, "dummy_2", 0, 0, 1035, 375, captions::kExit, ids::cmdExit));
    ControlDesign ok = C("cmdOk", Kind::Button, "dummy_2", 1080, 0, 1035, 375, "OK", ids::cmdOk);
    ok.isDefault = true;
    v.push_back(ok);

    // Results page, hidden until a run moves it over the settings page.
    ControlDesign results = C("fra1_1", Kind::Frame, "", 1560, 840, 7335, 3735, "", ids::fra1_1);
    results.visible = false;
    v.push_back(results);
    ControlDesign status = AutoLabel("lbl1_5", "fra1_1", 120, 300, "testing", ids::lbl1_5);
    status.font = Font{kSansFace, 13.5, false};
    v.push_back(status);
    // The running test's progress, between the status line and the log; shown during a run.
    ControlDesign bar =
        C("prgTest", Kind::ProgressBar, "fra1_1", 120, 690, 2700, 210, "", ids::prgTest);
    bar.visible = false;
    v.push_back(bar);
    ControlDesign progress = AutoLabel("lblProgress", "fra1_1", 2940, 690, "", ids::lblProgress);
    progress.visible = false;
    v.push_back(progress);
    ControlDesign log = C("txtTestResults", Kind::ResultsBox, "fra1_1", 120, 960, 7095, 2655, "",
                          ids::txtTestResults);
    log.font = Font{kSerifFace, 6.75, false};
    log.back = Sys(SystemColour::WindowBackground);
    v.push_back(log);

    // Button bar.
    ControlDesign bottom = C("fraBottom", Kind::Frame, "", 0, 4560, 7335, 855, "", ids::fraBottom);
    bottom.back = kBannerGrey;
    v.push_back(bottom);
    v.push_back(C("dummy_0", Kind::Frame, "fraBottom", 120, 120, 1455, 615, "", ids::dummy_0));
    ControlDesign back =
        C("cmdBack", Kind::Button, "dummy_0", 0, 0, 1455, 615, kNewTest, ids::cmdBack);
    back.visible = false;
    v.push_back(back);
    v.push_back(C("dummy_1", Kind::Frame, "fraBottom", 5760, 120, 1455, 615, "", ids::dummy_1));
    ControlDesign next =
        C("cmdNext", Kind::Button, "dummy_1", 0, 0, 1455, 615, kRunTests, ids::cmdNext);
    next.visible = false;
    v.push_back(next);

    const char* chain[] = {"txtTestId",    "cmdExit",    "cmdOk",         "cmbConnType",
                           "cmbConnSpeed", "txtDirPath", "txtUserName",   "txtPassword",
                           "cmdBack",      "cmdNext",    "txtTestResults"};
    for (int i = 0; i < static_cast<int>(std::size(chain)); ++i) {
        for (auto& c : v)
            if (c.name == chain[i]) c.tabIndex = i;
    }
    return f;
}

FormDesign BuildGraphForm() {
    FormDesign f;
    f.name = "frmTestGraph";
    f.unit = Unit::Pixels;
    f.clientWidth = 740;
    f.clientHeight = 557;
    f.font = Font{kSansFace, 8.25, false};
    auto& v = f.controls;

    ControlDesign frame0 = C("Shape1_0", Kind::Shape, "", 4, 4, 733, 285, "", ids::Shape1_0);
    ControlDesign frame1 = C("Shape1_1", Kind::Shape, "", 4, 292, 733, 225, "", ids::Shape1_1);
    v.push_back(frame0);
    v.push_back(frame1);
    ControlDesign title =
        C("Label1", Kind::Label, "", 250, 4, 197, 24, "Calculated Throughtput", ids::Label1);
    title.font = Font{kSansFace, 13.5, false};
    title.align = Align::Centre;
    title.autoSize = true;  // keeps its centre
    v.push_back(title);
    v.push_back(C("picLabels", Kind::PictureBox, "", 8, 32, 269, 219, "", ids::picLabels));
    ControlDesign graph = C("Graph", Kind::PictureBox, "", 280, 32, 451, 219, "", ids::Graph);
    graph.border = true;
    v.push_back(graph);
    v.push_back(C("picScale", Kind::PictureBox, "", 280, 252, 451, 33, "", ids::picScale));
    ControlDesign barLabel =
        C("lbl1_2", Kind::Label, "picLabels", 236, 8, 32, 13, "", ids::GraphLbl1Base + 2);
    barLabel.align = Align::Right;
    v.push_back(barLabel);
    v.push_back(C("lbl2_0", Kind::Label, "picScale", 8, 4, 32, 13, "", ids::GraphLbl2Base));

    for (int r = 0; r < kTableRows; ++r) {
        for (int c = 0; c < kTableColumns; ++c) {
            const CellBox box = CellGeometry(r, c);
            const int index = r * kTableColumns + c;
            ControlDesign cell = C("lblT_" + std::to_string(index), Kind::Label, "", box.left,
                                   box.top, box.width, box.height, "", ids::LblTBase + index);
            cell.align = (c == 0 || c == 4) ? Align::Left : Align::Right;
            cell.font = Font{kSansFace, 8.25, r == 0};
            cell.back = r == 0 ? kHeaderBackground : Sys(SystemColour::WindowBackground);
            v.push_back(cell);
        }
    }
    // The report beside "Close", which keeps the focus and answers Esc.
    ControlDesign save =
        C("cmdSaveReport", Kind::Button, "", 536, 520, 97, 33, kSaveReport, ids::cmdSaveReport);
    save.tabIndex = 1;
    v.push_back(save);
    ControlDesign close = C("cmdClose", Kind::Button, "", 640, 520, 97, 33, "Close", ids::cmdClose);
    close.tabIndex = 0;
    close.isCancel = true;
    v.push_back(close);
    return f;
}

}  // namespace

const ControlDesign* FormDesign::Find(std::string_view controlName) const {
    for (const auto& c : controls)
        if (c.name == controlName) return &c;
    return nullptr;
}

const ControlDesign& FormDesign::Control(std::string_view controlName) const {
    if (const ControlDesign* c = Find(controlName)) return *c;
    throw std::out_of_range(name + " has no control " + std::string(controlName));
}

std::vector<const ControlDesign*> FormDesign::TabChain() const {
    std::vector<const ControlDesign*> chain;
    for (const auto& c : controls)
        if (c.tabIndex >= 0) chain.push_back(&c);
    std::sort(chain.begin(), chain.end(), [](const ControlDesign* a, const ControlDesign* b) {
        return a->tabIndex < b->tabIndex;
    });
    return chain;
}

int TextRoom(const FormDesign& form, const ControlDesign& label) {
    // A line of text is about a quarter inch: what starts within it is on the same line.
    const int line = form.unit == Unit::Twips ? 240 : 16;
    int limit = form.clientWidth;
    if (!label.parent.empty()) limit = form.Control(label.parent).width;
    for (const ControlDesign& c : form.controls) {
        if (&c == &label || c.parent != label.parent || c.left <= label.left) continue;
        const int height = c.height > 0 ? c.height : line;
        if (c.top < label.top + line && c.top + height > label.top) limit = std::min(limit, c.left);
    }
    return limit - label.left;
}

const FormDesign& MainForm() {
    static const FormDesign form = BuildMainForm();
    return form;
}

const FormDesign& GraphForm() {
    static const FormDesign form = BuildGraphForm();
    return form;
}

}  // namespace wirepace::ui::forms
