// SPDX-License-Identifier: MIT
#include "ui/forms/wizard.h"

#include "common/pause.h"
#include "core/captions.h"
#include "core/connection_settings.h"
#include "core/progress_meter.h"
#include "core/run_input.h"

namespace wirepace::ui::forms {

namespace {

// Only blanks count, as in the name check of the name page.
bool BlankAfterTrim(const std::string& text) {
    return text.find_first_not_of(' ') == std::string::npos;
}

}  // namespace

void Form_Load(WizardView& view, int versionMajor, int versionMinor) {
    view.SetTitle("Wirepace v" + std::to_string(versionMajor) + "." + std::to_string(versionMinor));
    for (const char* page : {"fra1_0", "fra1_1", "fra1_2"})
        view.SetBackColour(page, Sys(SystemColour::ButtonFace));

    view.AddListItem("cmbConnType", kLanType);
    view.AddListItem("cmbConnType", kWanType);
    view.SetListIndex("cmbConnType", 1);
    cmbConnType_Click(view);

    const Colour bar = MainForm().Control("fraBottom").back;
    view.SetBackColour("dummy_0", bar);
    view.SetBackColour("dummy_1", bar);

    view.SetWindowSize(7425, 5895);
    view.BringToFront("fra1_2");
    view.ShowWindow();
    cmdBack_Click(view);
}

void cmdOk_Click(WizardView& view) {
    const std::string name = view.Text("txtTestId");
    if (BlankAfterTrim(name)) return;
    // Checked where it is typed: refused later, the name could only be retyped after
    // "New Test", which clears the settings too.
    if (const auto problem = CheckRunInput(name, "", "")) {
        view.ShowMessage(*problem);
        view.SetFocus("txtTestId");
        return;
    }
    view.SetText("lbl1_6", name);
    view.SetText("lbl1_7", kFollowInstructions);
    view.SetVisible("fra1_2", false);
    view.SetText("cmdNext", kRunTests);
    view.SetEnabled("cmdNext", true);
    view.SetVisible("cmdNext", true);
    view.SetText("cmdBack", kNewTest);
    view.SetVisible("cmdBack", true);
    view.SetDefaultButton("cmdNext");
    // The hidden name box had the focus; the keyboard goes on with the settings.
    const std::string first = NextInTabChain(view, "", true);
    if (!first.empty()) view.SetFocus(first);
}

bool txtTestId_KeyDown(WizardView& view, int keyCode, int /*shift*/) {
    if (keyCode == kKeyReturn) cmdOk_Click(view);
    return false;
}

void cmdBack_Click(WizardView& view) {
    const std::string caption = view.Text("cmdBack");
    if (caption == kBack) {
        view.SetText("lbl1_7", kFollowInstructions);
        view.SetVisible("fra1_1", false);
        view.SetVisible("fra1_0", true);
        view.SetText("cmdBack", kNewTest);
        view.SetText("cmdNext", kRunTests);
        view.SetEnabled("cmdNext", true);
        view.SetDefaultButton("cmdNext");
    } else if (caption == kNewTest) {
        view.BringToFront("fra1_0");
        view.SetVisible("fra1_0", true);
        view.BringToFront("fra1_2");
        view.SetVisible("fra1_2", true);
        for (const char* box : {"txtTestId", "txtDirPath", "txtUserName", "txtPassword"})
            view.SetText(box, "");
        view.SetVisible("cmdNext", false);
        view.SetVisible("cmdBack", false);
        view.SetText("lbl1_6", "");
        view.SetText("lbl1_7", kNameNewTest);
        view.SetDefaultButton("cmdOk");
        view.SetFocus("txtTestId");
    }
}

void cmdExit_Click(WizardView& view) {
    view.CloseMainWindow();
}

void cmbConnType_Click(WizardView& view) {
    view.ClearList("cmbConnSpeed");
    const std::vector<std::string> speeds = SpeedEntriesFor(view.Text("cmbConnType"));
    for (const std::string& speed : speeds) view.AddListItem("cmbConnSpeed", speed);
    view.SetListIndex("cmbConnSpeed", 0);
}

void Form_QueryUnload(WizardView& view) {
    view.CloseOtherWindows();
}

bool InTabChain(const WizardView& view, std::string_view control) {
    const FormDesign& form = MainForm();
    const ControlDesign* c = form.Find(control);
    if (!c || c->tabIndex < 0 || !view.IsEnabled(control)) return false;
    for (; c; c = c->parent.empty() ? nullptr : form.Find(c->parent)) {
        if (!view.IsVisible(c->name)) return false;
        for (const ControlDesign& page : form.controls) {
            if (page.covers == c->name && view.IsVisible(page.name)) return false;
        }
    }
    return true;
}

std::string NextInTabChain(const WizardView& view, std::string_view current, bool forward) {
    const std::vector<const ControlDesign*> chain = MainForm().TabChain();
    const int n = static_cast<int>(chain.size());
    int at = -1;
    for (int i = 0; i < n; ++i)
        if (chain[static_cast<std::size_t>(i)]->name == current) at = i;
    if (at < 0) at = forward ? n - 1 : 0;
    for (int step = 1; step <= n; ++step) {
        const int i = ((at + (forward ? step : -step)) % n + n) % n;
        const std::string& name = chain[static_cast<std::size_t>(i)]->name;
        if (InTabChain(view, name)) return name;
    }
    return "";
}

std::string DefaultButton(const WizardView& view) {
    if (InTabChain(view, "cmdOk")) return "cmdOk";
    if (InTabChain(view, "cmdNext") && view.Text("cmdNext") == kRunTests) return "cmdNext";
    return "";
}

using namespace captions;

// ---- the run ------------------------------------------------------------------------------------

// Hands every event of the run, made on the run's thread, to the window's thread.
class WizardWindow::Relay : public RunObserver {
  public:
    explicit Relay(WizardWindow& window) : w_(window) {}

    void RunStarted(const RunSettings& s) override {
        Post([s](WizardWindow& w) { w.RunStarted(s); });
    }
    void TargetShown(const std::string& dir) override {
        Post([dir](WizardWindow& w) { w.TargetShown(dir); });
    }
    void Status(const std::string& line1, const std::string& line2, bool isTest) override {
        Post([=](WizardWindow& w) { w.Status(line1, line2, isTest); });
    }
    void LogLine(const std::string& line) override {
        Post([line](WizardWindow& w) { w.LogLine(line); });
    }
    void TestStarted(int index, const std::string& id, const std::string& name,
                     double bytes) override {
        Post([=](WizardWindow& w) { w.TestStarted(index, id, name, bytes); });
    }
    void Progress(const TestProgress& p) override {
        Post([p](WizardWindow& w) { w.Progress(p); });
    }
    void ResultRecorded(const TestResult& r) override {
        Post([r](WizardWindow& w) { w.ResultRecorded(r); });
    }
    void Note(const std::string& text) override {
        Post([text](WizardWindow& w) { w.Note(text); });
    }
    void Message(const std::string& text) override {
        Post([text](WizardWindow& w) { w.Message(text); });
    }
    void Alert(const std::string& text) override {
        Post([text](WizardWindow& w) { w.Alert(text); });
    }
    void RunFinished(const RunResult& r) override {
        Post([r](WizardWindow& w) { w.RunFinished(r); });
    }

  private:
    template <typename Event>
    void Post(Event event) {
        WizardWindow& w = w_;
        w_.PostToWindow([&w, event] { event(w); });
    }
    WizardWindow& w_;
};

WizardWindow::WizardWindow(RunEnvironment environment)
    : environment_(std::move(environment)), relay_(std::make_unique<Relay>(*this)) {}

WizardWindow::~WizardWindow() {
    EndRun();
}

void WizardWindow::EndRun() {
    if (!worker_.joinable()) return;
    if (running_) stop_.Request();
    worker_.join();
}

RunSettings WizardWindow::SettingsFromControls() const {
    // No entry selected leaves the sizes at 0, which the settings check refuses.
    RunSettings settings;
    settings.connectionType = Text("cmbConnType");
    if (auto sized = SettingsFor(settings.connectionType, Text("cmbConnSpeed"))) settings = *sized;
    settings.testName = Text("txtTestId");
    settings.target = Text("txtDirPath");
    settings.account = Text("txtUserName");
    settings.password = Text("txtPassword");
    return settings;
}

void WizardWindow::RememberSettings(SettingsStore store) {
    remembered_ = std::move(store);
    if (const auto remembered = remembered_.Load()) ApplyRememberedSettings(*this, *remembered);
}

void WizardWindow::cmdNext_Click() {
    const std::string caption = Text("cmdNext");
    if (caption == kRunTests) {
        RunTests();
    } else if (caption == kStop) {
        Stop();
    } else if (caption == kViewReports) {
        // The caption stays: the reports can be opened again while the results are shown
        // (graph_window.h).
        if (last_) OpenReports(*last_, Text("txtTestId"));
    } else if (caption == kExit) {
        CloseMainWindow();
    }
}

bool WizardWindow::PressDefaultButton() {
    const std::string button = DefaultButton(*this);
    if (button == "cmdOk")
        cmdOk_Click(*this);
    else if (button == "cmdNext")
        cmdNext_Click();
    return !button.empty();
}

bool WizardWindow::RequestClose() {
    if (!running_) return true;
    // The run stops within a second, cleans up and the window then closes itself; it shows
    // it is stopping, as after a click on "Stop".
    closeRequested_ = true;
    if (Text("cmdNext") == kStop) Stop();
    stop_.Request();
    return false;
}

void WizardWindow::Stop() {
    stop_.Request();
    SetText("cmdNext", kPleaseWaitButton);
    SetEnabled("cmdNext", false);
    Status(kInterrupted, kPleaseWaitStopping, false);
}

void WizardWindow::RunTests() {
    const RunSettings settings = SettingsFromControls();
    // Refused before anything shows or is logged: the window stays ready for a corrected
    // entry, with the focus in the field the message names.
    const std::pair<const char*, std::optional<std::string>> fields[] = {
        {"txtDirPath", CheckRunInput("", settings.target, "")},
        {"txtUserName", CheckRunInput("", "", settings.account)},
    };
    for (const auto& [field, problem] : fields) {
        if (problem) {
            ShowMessage(*problem);
            SetFocus(field);
            return;
        }
    }
    if (const auto problem = CheckSettings(settings)) {
        ShowMessage(*problem);
        return;
    }
    if (const auto problem = CheckLogCanStore(settings, environment_.logPath)) {
        ShowMessage(*problem);
        return;
    }
    // Not saving costs the next window its filled-in values, never this run.
    static_cast<void>(remembered_.Save(settings));
    SetDefaultButton("");
    running_ = true;
    stop_.Reset();
    SetBusy(true);
    SetText("cmdNext", kStop);
    SetVisible("cmdBack", false);
    ShowResultsPage();
    // The last run's thread ended after its last event.
    if (worker_.joinable()) worker_.join();
    // The run has a thread of its own: the window keeps painting and answering, and Stop or
    // a close reach the run at once.
    worker_ = std::thread([this, settings] {
        try {
            RunBenchmark(settings, environment_, *relay_, stop_);
        } catch (const std::exception& e) {
            // The engine reports its own failures; this is one it could not (out of memory).
            RunResult failed;
            failed.outcome = RunOutcome::Error;
            failed.errorDescription = e.what();
            relay_->RunFinished(failed);
        }
    });
}

void WizardWindow::ShowResultsPage() {
    MoveTo("fra1_1", "fra1_0");
    SetVisible("fra1_0", false);
    SetVisible("fra1_1", true);
}

void WizardWindow::Status(const std::string& line1, const std::string& line2, bool isTest) {
    SetText("lbl1_5", line1);
    SetText("lbl1_7", isTest ? "Running Test " + line2 + ". Please wait..." : line2);
}

void WizardWindow::Note(const std::string& text) {
    SetResultsText(results_ + text + "\r\n");
    FocusResultsAtEnd();
}

void WizardWindow::TestStarted(int, const std::string&, const std::string&, double) {
    SetProgress("prgTest", 0);
    SetText("lblProgress", "");
}

void WizardWindow::Progress(const TestProgress& progress) {
    SetVisible("prgTest", true);
    SetVisible("lblProgress", true);
    SetProgress("prgTest", ProgressPermille(progress));
    SetText("lblProgress", ProgressText(progress));
}

void WizardWindow::ResultRecorded(const TestResult& result) {
    SetResultsText(results_ + result.logLine + "\r\n");
    FocusResultsAtEnd();
}

void WizardWindow::RunFinished(const RunResult& result) {
    last_ = result;
    SetVisible("prgTest", false);
    SetVisible("lblProgress", false);
    SetText("cmdBack", kBack);
    SetEnabled("cmdNext", false);
    SetText("cmdNext", kViewReports);
    SetVisible("cmdBack", true);
    SetBusy(false);
    running_ = false;
    stop_.Reset();
    Status(OutcomeText(result.outcome), "", false);
    if (result.outcome == RunOutcome::Finished) SetEnabled("cmdNext", true);
    // A close that arrived during the run is carried out now that it has cleaned up.
    if (closeRequested_) {
        closeRequested_ = false;
        CloseMainWindow();
    }
}

}  // namespace wirepace::ui::forms
