// SPDX-License-Identifier: MIT
// The main window's behaviour, written once against a small abstract view of its controls:
// Form_Load, the page switching of the name page and of cmdBack, the name box's keys, the
// connection type list, the run and the close. A toolkit's window implements WizardView with
// its real controls and forwards its events here.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>

#include "core/run_engine.h"
#include "ui/forms/form_design.h"
#include "ui/forms/remembered_settings.h"

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
    // The value of a progress bar, 0 to 1000.
    virtual void SetProgress(std::string_view control, int permille) = 0;

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
    // An informational message box.
    virtual void ShowMessage(const std::string& text) = 0;
    // The button drawn as the one Enter presses; "" for none.
    virtual void SetDefaultButton(std::string_view button) = 0;
};

inline constexpr int kKeyReturn = 13;

void Form_Load(WizardView& view, int versionMajor, int versionMinor);
// Accepts the name unless it is blank; a name the run would refuse is refused here, with the
// message, and the name page stays for the correction. The focus moves to the first control
// of the settings page.
void cmdOk_Click(WizardView& view);
void cmdBack_Click(WizardView& view);
void cmdExit_Click(WizardView& view);
void cmbConnType_Click(WizardView& view);
// Return accepts the name; every other key and the shift state are ignored. Returns whether
// the key was consumed, which it never is.
bool txtTestId_KeyDown(WizardView& view, int keyCode, int shift);
void Form_QueryUnload(WizardView& view);

// The keyboard's tab chain: the control after (or before) `current` that can take the focus,
// skipping what is hidden, disabled or lies on a page covered by another; "" when none can.
// `current` may be "" or a control outside the chain (start from the beginning).
bool InTabChain(const WizardView& view, std::string_view control);
std::string NextInTabChain(const WizardView& view, std::string_view current, bool forward);

// The button Enter presses where the focused control does not take it: cmdOk on the name
// page, cmdNext while it offers "Run Tests" on the settings page; "" otherwise (a run's
// "Stop" is never pressed by an Enter meant for the results box).
std::string DefaultButton(const WizardView& view);

// The main window's part in a run, over the same controls: cmdNext starts, stops and follows
// the run through the engine's events, and the wizard sets every caption, status line and
// results-box line from them. A toolkit adds the busy pointer, the focus in the results box,
// the reports window and message boxes. The results text is kept as the run set it (CR LF line
// ends); the box is read-only, so what it shows never differs.
class WizardWindow : public WizardView, public RunObserver {
  public:
    explicit WizardWindow(RunEnvironment environment);
    ~WizardWindow() override;
    WizardWindow(const WizardWindow&) = delete;
    WizardWindow& operator=(const WizardWindow&) = delete;

    // Runs `task` later on the window's own thread, in the order posted. The run calls it from
    // its own thread for every event, so the window only ever paints and answers input.
    virtual void PostToWindow(std::function<void()> task) = 0;
    // Stops a run under way and waits for its thread. A toolkit's window calls it first in its
    // destructor, while it can still take the run's last events.
    void EndRun();

    virtual void SetBusy(bool busy) = 0;  // busy pointer during a run
    // Focus in the results box and caret at the end, so the newest line is in view.
    virtual void FocusResultsAtEnd() = 0;
    // Opens the results window on `result`, or brings it forward when it shows that run.
    virtual void OpenReports(const RunResult& result, const std::string& testName) = 0;

    // Keeps the settings of every run started from now on in `store`, and fills the controls
    // with what it holds. The program's window uses the user's store; a window made without
    // this call remembers nothing.
    void RememberSettings(SettingsStore store);

    // The click handler of cmdNext: its caption says what the click means.
    void cmdNext_Click();
    // Enter where no focused control takes it: clicks DefaultButton(); false when none.
    bool PressDefaultButton();
    // A close of the main window: during a run the run stops, cleans up and then closes the
    // window; otherwise the window may close at once (true).
    bool RequestClose();
    bool Running() const { return running_; }
    bool StopRequested() const { return stop_.Requested(); }

    // The run the controls describe, as the engine takes it.
    RunSettings SettingsFromControls() const;
    const RunResult* LastResult() const { return last_ ? &*last_ : nullptr; }
    const std::string& ResultsText() const { return results_; }
    RunEnvironment& Environment() { return environment_; }
    // The results box's text, as the run's lines make it up (CR LF line ends).
    void SetResultsText(const std::string& text) {
        results_ = text;
        SetText("txtTestResults", text);
    }
    // The results page moved over the settings page, as a run shows it.
    void ShowResultsPage();

    // RunObserver
    void TargetShown(const std::string& dir) override { SetText("txtDirPath", dir); }
    void Status(const std::string& line1, const std::string& line2, bool isTest) override;
    void TestStarted(int index, const std::string& id, const std::string& name,
                     double bytes) override;
    void Progress(const TestProgress& progress) override;
    void LogLine(const std::string& line) override { SetResultsText(line + "\r\n"); }
    void ResultRecorded(const TestResult& result) override;
    void Note(const std::string& text) override;
    void Message(const std::string& text) override { SetResultsText(results_ + text + "\r\n"); }
    void Alert(const std::string& text) override { ShowMessage(text); }
    void RunFinished(const RunResult& result) override;

  private:
    class Relay;

    void RunTests();
    void Stop();

    RunEnvironment environment_;
    StopToken stop_;
    bool running_ = false;
    bool closeRequested_ = false;
    std::string results_;
    std::optional<RunResult> last_;
    SettingsStore remembered_;
    std::unique_ptr<Relay> relay_;
    std::thread worker_;
};

}  // namespace wirepace::ui::forms
