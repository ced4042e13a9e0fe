// SPDX-License-Identifier: MIT
// The main window's behaviour, written once against a small abstract view of its controls:
// Form_Load, the page switching of the name page and of cmdBack, the name box's keys, the
// connection type list and the close. A toolkit's window implements WizardView with its real
// controls and forwards its events here; WizardWindow also answers the core's MainWindowIO
// from the same controls.
#pragma once

#include <string>
#include <string_view>

#include "core/benchmark_state.h"
#include "core/main_window_io.h"
#include "ui/forms/form_design.h"

namespace wirepace::ui::forms {

// The controls of frmMain, addressed by their names in MainForm().
class WizardView {
  public:
    virtual ~WizardView() = default;

    // Caption of a label or button, text of a text box or of a list's selected entry.
    virtual std::string Text(std::string_view control) const = 0;
    // Labels are sized to their new caption.
    virtual void SetText(std::string_view control, const std::string& text) = 0;
    virtual void SetVisible(std::string_view control, bool visible) = 0;
    virtual bool IsVisible(std::string_view control) const = 0;
    virtual void SetEnabled(std::string_view control, bool enabled) = 0;
    virtual bool IsEnabled(std::string_view control) const = 0;
    virtual void BringToFront(std::string_view control) = 0;
    virtual void SetFocus(std::string_view control) = 0;
    virtual void SetBackColour(std::string_view control, const Colour& colour) = 0;
    // Moves a control to the position another one has in the same container.
    virtual void MoveTo(std::string_view control, std::string_view placeOf) = 0;

    virtual void ClearList(std::string_view list) = 0;
    virtual void AddListItem(std::string_view list, const std::string& item) = 0;
    virtual void SetListIndex(std::string_view list, int index) = 0;  // no click raised
    virtual int ListIndex(std::string_view list) const = 0;

    virtual void SetTitle(const std::string& title) = 0;
    // Fixed outer size in design units, the frame the design assumes included.
    virtual void SetWindowSize(int width, int height) = 0;
    virtual void ShowWindow() = 0;
    // Closes the window; the toolkit then runs Form_QueryUnload.
    virtual void CloseMainWindow() = 0;
    // Closes every other open window of the program (the graph window).
    virtual void CloseOtherWindows() = 0;
};

inline constexpr int kKeyReturn = 13;

void Form_Load(WizardView& view, BenchmarkState& state, int versionMajor, int versionMinor);
void cmdOk_Click(WizardView& view);
void cmdBack_Click(WizardView& view);
void cmdExit_Click(WizardView& view);
void cmbConnType_Click(WizardView& view, BenchmarkState& state);
// Return accepts the name; every other key and the shift state are ignored. Returns whether
// the key was consumed, which it never is.
bool txtTestId_KeyDown(WizardView& view, int keyCode, int shift);
void Form_QueryUnload(WizardView& view);

// The keyboard's tab chain: the control after (or before) `current` that can take the focus,
// skipping what is hidden, disabled or lies on a page covered by another; "" when none can.
// `current` may be "" or a control outside the chain (start from the beginning).
bool InTabChain(const WizardView& view, std::string_view control);
std::string NextInTabChain(const WizardView& view, std::string_view current, bool forward);

// Everything of MainWindowIO that the controls answer; the rest (busy pointer, focus in the
// results box, the reports, message boxes) is each toolkit's. The results text is kept as the
// core set it (CR LF line ends); the box is read-only, so what it shows never differs.
class WizardWindow : public MainWindowIO, public WizardView {
  public:
    std::string TestId() const override { return Text("txtTestId"); }
    std::string DirPath() const override { return Text("txtDirPath"); }
    void SetDirPath(const std::string& text) override { SetText("txtDirPath", text); }
    std::string UserName() const override { return Text("txtUserName"); }
    std::string Password() const override { return Text("txtPassword"); }
    int SelectedSpeedIndex() const override { return ListIndex("cmbConnSpeed"); }
    std::string NextCaption() const override { return Text("cmdNext"); }
    void SetNextCaption(const std::string& caption) override { SetText("cmdNext", caption); }
    void SetNextEnabled(bool enabled) override { SetEnabled("cmdNext", enabled); }
    std::string BackCaption() const override { return Text("cmdBack"); }
    void SetBackCaption(const std::string& caption) override { SetText("cmdBack", caption); }
    void SetBackVisible(bool visible) override { SetVisible("cmdBack", visible); }
    void SetStatusLine(const std::string& text) override { SetText("lbl1_5", text); }
    void SetInstructionLine(const std::string& text) override { SetText("lbl1_7", text); }
    std::string ResultsText() const override { return results_; }
    void SetResultsText(const std::string& text) override {
        results_ = text;
        SetText("txtTestResults", text);
    }
    void ShowResultsPage() override {
        MoveTo("fra1_1", "fra1_0");
        SetVisible("fra1_0", false);
        SetVisible("fra1_1", true);
    }
    void CloseWindow() override { CloseMainWindow(); }

  private:
    std::string results_;
};

}  // namespace wirepace::ui::forms
