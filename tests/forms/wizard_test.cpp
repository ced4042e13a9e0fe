// SPDX-License-Identifier: MIT
// The wizard's behaviour against a view without a toolkit: start-up, naming, the two meanings
// of cmdBack, the connection lists, a run driven from cmdNext and the close.
#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <filesystem>
#include <map>
#include <mutex>
#include <vector>

#include "common/pause.h"
#include "core/connection_settings.h"
#include "support/child_process.h"
#include "support/temp_dir.h"
#include "ui/forms/wizard.h"

using namespace wirepace::ui::forms;
using wirepace::RunEnvironment;
using wirepace::RunOutcome;

namespace {

struct ControlState {
    std::string text;
    bool visible = true;
    bool enabled = true;
    Colour back;
    std::vector<std::string> items;
    int index = -1;
    std::string place;  // whose position it was moved to
};

// Records what the wizard (and the core, through WizardWindow) does to each control; the list text
// follows the selected entry.
class RecordingView : public WizardWindow {
  public:
    explicit RecordingView(RunEnvironment environment = {}) : WizardWindow(std::move(environment)) {
        for (const ControlDesign& c : MainForm().controls) {
            ControlState s;
            s.text = c.caption;
            s.visible = c.visible;
            s.back = c.back;
            controls[c.name] = s;
        }
    }
    ControlState& operator[](const std::string& name) { return controls.at(name); }

    std::string Text(std::string_view c) const override {
        const ControlState& s = controls.at(std::string(c));
        if (!s.items.empty() || MainForm().Control(c).kind == Kind::DropList)
            return s.index >= 0 ? s.items.at(static_cast<std::size_t>(s.index)) : "";
        return s.text;
    }
    void SetText(std::string_view c, const std::string& text) override { at(c).text = text; }
    void SetVisible(std::string_view c, bool v) override { at(c).visible = v; }
    bool IsVisible(std::string_view c) const override {
        return controls.at(std::string(c)).visible;
    }
    void SetEnabled(std::string_view c, bool e) override { at(c).enabled = e; }
    bool IsEnabled(std::string_view c) const override {
        return controls.at(std::string(c)).enabled;
    }
    void BringToFront(std::string_view c) override { zOrder.emplace_back(c); }
    void SetFocus(std::string_view c) override { focus = c; }
    void SetBackColour(std::string_view c, const Colour& colour) override { at(c).back = colour; }
    void MoveTo(std::string_view c, std::string_view placeOf) override { at(c).place = placeOf; }
    void SetProgress(std::string_view c, int permille) override { at(c).index = permille; }
    void ClearList(std::string_view c) override {
        at(c).items.clear();
        at(c).index = -1;
    }
    void AddListItem(std::string_view c, const std::string& item) override {
        at(c).items.push_back(item);
    }
    void SetListIndex(std::string_view c, int i) override { at(c).index = i; }
    int ListIndex(std::string_view c) const override { return controls.at(std::string(c)).index; }
    void SetTitle(const std::string& t) override { title = t; }
    void SetWindowSize(int w, int h) override { size = {w, h}; }
    void ShowWindow() override { shown = true; }
    void CloseOtherWindows() override { ++otherClosed; }
    void FocusResultsAtEnd() override { focus = "txtTestResults"; }
    void SetBusy(bool b) override { busy = b; }
    void OpenReports(const wirepace::RunResult& result, const std::string& name) override {
        reports.push_back(name + ": " + std::to_string(result.tests.size()) + " tests");
    }
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    void SetDefaultButton(std::string_view button) override { defaultButton = button; }
    void TestStarted(int index, const std::string& id, const std::string& name,
                     double bytes) override {
        WizardWindow::TestStarted(index, id, name, bytes);
        currentTest = index;
    }
    // The window's thread in miniature: each event of the run waits until the test has let it
    // in, so the test sees the run exactly where the event was made.
    void PostToWindow(std::function<void()> task) override {
        std::unique_lock<std::mutex> lock(mutex_);
        if (closing_) return;
        queue_.push_back(std::move(task));
        const std::size_t mine = ++posted_;
        changed_.notify_all();
        changed_.wait(lock, [&] { return closing_ || handled_ >= mine; });
    }
    // Lets the run's events in, one at a time, `between` after each, until the run has ended.
    void RunUntilIdle(const std::function<void()>& between = {}) {
        while (Running()) {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [this] { return !queue_.empty(); });
            const std::function<void()> task = std::move(queue_.front());
            queue_.pop_front();
            lock.unlock();
            task();
            if (between) between();
            lock.lock();
            ++handled_;
            changed_.notify_all();
        }
    }
    ~RecordingView() override {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            closing_ = true;
            changed_.notify_all();
        }
        EndRun();
    }
    void CloseMainWindow() override { ++closes; }

    std::map<std::string, ControlState> controls;
    std::vector<std::string> zOrder;
    std::string focus, title, defaultButton;
    std::pair<int, int> size{};
    bool shown = false, busy = false;
    int closes = 0, otherClosed = 0, currentTest = -1;
    std::vector<std::string> messages, reports;

  private:
    ControlState& at(std::string_view c) { return controls.at(std::string(c)); }
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::function<void()>> queue_;
    std::size_t posted_ = 0, handled_ = 0;
    bool closing_ = false;
};

struct Loaded {
    RecordingView view;
    explicit Loaded(RunEnvironment environment = {}) : view(std::move(environment)) {
        view["txtTestId"].text = "MyServer";
        view["txtDirPath"].text = "\\\\server\\share";
        Form_Load(view, 1, 0);
    }
};

}  // namespace

TEST(Wizard, LoadEndsOnTheNamePage) {
    Loaded w;
    RecordingView& v = w.view;
    EXPECT_EQ(v.title, "Wirepace v1.0");
    EXPECT_EQ(v.size, std::make_pair(7425, 5895));
    EXPECT_TRUE(v.shown);
    for (const char* page : {"fra1_0", "fra1_1", "fra1_2"})
        EXPECT_EQ(v[page].back, Sys(SystemColour::ButtonFace)) << page;
    EXPECT_EQ(v["dummy_0"].back, Fixed(128, 128, 128));
    EXPECT_EQ(v["dummy_1"].back, Fixed(128, 128, 128));
    EXPECT_EQ(v["dummy_2"].back, Sys(SystemColour::ButtonFace));
    // Name page in front of the settings page; the results page stays hidden.
    ASSERT_FALSE(v.zOrder.empty());
    EXPECT_EQ(v.zOrder.back(), "fra1_2");
    EXPECT_TRUE(v["fra1_2"].visible);
    EXPECT_TRUE(v["fra1_0"].visible);
    EXPECT_FALSE(v["fra1_1"].visible);
    for (const char* box : {"txtTestId", "txtDirPath", "txtUserName", "txtPassword"})
        EXPECT_EQ(v[box].text, "") << box;
    EXPECT_EQ(v.focus, "txtTestId");
    EXPECT_EQ(v["lbl1_6"].text, "");
    EXPECT_EQ(v["lbl1_7"].text, "Name new test:");
    EXPECT_FALSE(v["cmdNext"].visible);
    EXPECT_FALSE(v["cmdBack"].visible);
    // WAN with "<256" behind the name page, and its sizes.
    EXPECT_EQ(v.Text("cmbConnType"), "Wide Area Network (WAN)");
    EXPECT_EQ(v["cmbConnSpeed"].items.size(), 6u);
    EXPECT_EQ(v.Text("cmbConnSpeed"), "<256");
    v["txtTestId"].text = "MyServer";
    v["txtDirPath"].text = "\\\\server\\share";
    v["txtUserName"].text = "jo";
    const wirepace::RunSettings settings = v.SettingsFromControls();
    EXPECT_EQ(settings.smallKB, 16);
    EXPECT_EQ(settings.account, "jo");
    EXPECT_EQ(settings.largeKB, 160);
    EXPECT_EQ(settings.testName, "MyServer");
    EXPECT_EQ(settings.target, "\\\\server\\share");
}

TEST(Wizard, NamingAcceptsOnlyNonBlankNames) {
    Loaded w;
    RecordingView& v = w.view;
    v["txtTestId"].text = "   ";
    cmdOk_Click(v);
    EXPECT_TRUE(v["fra1_2"].visible);
    EXPECT_FALSE(v["cmdNext"].visible);
    EXPECT_EQ(v["lbl1_7"].text, "Name new test:");
    // A tab is not a blank: only spaces are trimmed.
    v["txtTestId"].text =
        "  Branch a\xF0\x9F\x98\x80"
        "b  ";
    EXPECT_FALSE(txtTestId_KeyDown(v, 65, 0));
    EXPECT_TRUE(v["fra1_2"].visible);
    EXPECT_FALSE(txtTestId_KeyDown(v, kKeyReturn, 1));
    EXPECT_FALSE(v["fra1_2"].visible);
    EXPECT_EQ(v["lbl1_6"].text,
              "  Branch a\xF0\x9F\x98\x80"
              "b  ");
    EXPECT_EQ(v["lbl1_7"].text, "Follow the instructions and press Run Tests.");
    EXPECT_TRUE(v["cmdNext"].visible);
    EXPECT_TRUE(v["cmdNext"].enabled);
    EXPECT_EQ(v["cmdNext"].text, "Run Tests");
    EXPECT_TRUE(v["cmdBack"].visible);
    EXPECT_EQ(v["cmdBack"].text, "New Test");
    // Accepting twice (default button and key handler) changes nothing further.
    cmdOk_Click(v);
    EXPECT_FALSE(v["fra1_2"].visible);
}

TEST(Wizard, TheNameIsCheckedOnOkAndTheKeyboardGoesOnToTheSettings) {
    Loaded w;
    RecordingView& v = w.view;
    EXPECT_EQ(v.defaultButton, "cmdOk");
    EXPECT_EQ(DefaultButton(v), "cmdOk");
    // A name the run would refuse is refused on the name page, which stays as typed.
    v["txtTestId"].text = "Branch\tB";
    v.focus = "cmdOk";
    EXPECT_TRUE(v.PressDefaultButton());
    ASSERT_EQ(v.messages.size(), 1u);
    EXPECT_NE(v.messages[0].find("The test name must not contain control characters"),
              std::string::npos)
        << v.messages[0];
    EXPECT_NE(v.messages[0].find("0x09"), std::string::npos);
    EXPECT_TRUE(v["fra1_2"].visible);
    EXPECT_FALSE(v["cmdNext"].visible);
    EXPECT_EQ(v["lbl1_6"].text, "");
    EXPECT_EQ(v["txtTestId"].text, "Branch\tB");
    EXPECT_EQ(v.focus, "txtTestId");
    EXPECT_EQ(v.defaultButton, "cmdOk");

    // Corrected in place: accepted, the focus on the first settings control and Enter now
    // means "Run Tests".
    v["txtTestId"].text = "Branch B";
    EXPECT_FALSE(txtTestId_KeyDown(v, kKeyReturn, 0));
    EXPECT_EQ(v.messages.size(), 1u);
    EXPECT_FALSE(v["fra1_2"].visible);
    EXPECT_EQ(v["lbl1_6"].text, "Branch B");
    EXPECT_EQ(v.focus, "cmbConnType");
    EXPECT_EQ(v.defaultButton, "cmdNext");
    EXPECT_EQ(DefaultButton(v), "cmdNext");

    // The folder, then the account, are checked on Run Tests: named, focused, nothing run.
    v["txtDirPath"].text = "/mnt/a\rb/";
    v["txtUserName"].text = "jo\x7F";
    v.focus = "cmbConnSpeed";
    EXPECT_TRUE(v.PressDefaultButton());
    ASSERT_EQ(v.messages.size(), 2u);
    EXPECT_EQ(v.messages[1].rfind("The target directory must not contain control", 0), 0u)
        << v.messages[1];
    EXPECT_EQ(v.focus, "txtDirPath");
    v["txtDirPath"].text = "/mnt/b/";
    v.cmdNext_Click();
    ASSERT_EQ(v.messages.size(), 3u);
    EXPECT_EQ(v.messages[2].rfind("The account name must not contain control", 0), 0u)
        << v.messages[2];
    EXPECT_EQ(v.focus, "txtUserName");
    EXPECT_FALSE(v.Running());
    EXPECT_TRUE(v["fra1_0"].visible);
    EXPECT_FALSE(v["fra1_1"].visible);
    EXPECT_EQ(v["cmdNext"].text, "Run Tests");
    EXPECT_EQ(v.Text("txtTestId"), "Branch B");

    // "New Test" gives Enter back to OK; a results page or a run leaves Enter to nothing.
    cmdBack_Click(v);
    EXPECT_EQ(v.defaultButton, "cmdOk");
    EXPECT_EQ(v.focus, "txtTestId");
    v["txtTestId"].text = "Again";
    cmdOk_Click(v);
    v.ShowResultsPage();
    v["cmdNext"].text = "Stop";
    EXPECT_EQ(DefaultButton(v), "");
    EXPECT_FALSE(v.PressDefaultButton());
}

TEST(Wizard, BackAndNewTest) {
    Loaded w;
    RecordingView& v = w.view;
    v["txtTestId"].text = "Srv";
    cmdOk_Click(v);
    v["txtDirPath"].text = "D:\\target";
    v["cmbConnType"].index = 0;
    cmbConnType_Click(v);
    v["cmbConnSpeed"].index = 1;
    // As after a run: results page shown, "Back" and a finished cmdNext.
    v.ShowResultsPage();
    EXPECT_EQ(v["fra1_1"].place, "fra1_0");
    EXPECT_FALSE(v["fra1_0"].visible);
    EXPECT_TRUE(v["fra1_1"].visible);
    v["cmdBack"].text = "Back";
    v["cmdNext"].text = "View Reports";
    v["cmdNext"].enabled = false;
    v.SetResultsText("line\r\n");
    cmdBack_Click(v);
    EXPECT_FALSE(v["fra1_1"].visible);
    EXPECT_TRUE(v["fra1_0"].visible);
    EXPECT_EQ(v["cmdBack"].text, "New Test");
    EXPECT_EQ(v["cmdNext"].text, "Run Tests");
    EXPECT_TRUE(v["cmdNext"].enabled);
    EXPECT_EQ(v["txtDirPath"].text, "D:\\target");
    EXPECT_EQ(v.ResultsText(), "line\r\n");
    EXPECT_EQ(v["txtTestResults"].text, "line\r\n");

    cmdBack_Click(v);  // now "New Test"
    for (const char* box : {"txtTestId", "txtDirPath", "txtUserName", "txtPassword"})
        EXPECT_EQ(v[box].text, "") << box;
    EXPECT_TRUE(v["fra1_2"].visible);
    EXPECT_FALSE(v["cmdBack"].visible);
    EXPECT_EQ(v.Text("cmbConnType"), "Local Area Network (LAN)");
    EXPECT_EQ(v.Text("cmbConnSpeed"), "100mb");
    EXPECT_EQ(v.ResultsText(), "line\r\n");

    // Any other caption does nothing.
    v["cmdBack"].text = "back";
    v["lbl1_7"].text = "unchanged";
    cmdBack_Click(v);
    EXPECT_EQ(v["lbl1_7"].text, "unchanged");
}

TEST(Wizard, ConnectionTypeFillsTheSpeedList) {
    Loaded w;
    RecordingView& v = w.view;
    v["cmbConnType"].index = 0;
    cmbConnType_Click(v);
    EXPECT_EQ(v["cmbConnSpeed"].items, (std::vector<std::string>{"10mb", "100mb", "1gb", "10gb"}));
    EXPECT_EQ(v.ListIndex("cmbConnSpeed"), 0);
    EXPECT_EQ(v.SettingsFromControls().smallKB, 1024);
    v["cmbConnSpeed"].index = 1;
    cmbConnType_Click(v);  // the same type again resets the speed
    EXPECT_EQ(v.ListIndex("cmbConnSpeed"), 0);
    v["cmbConnType"].index = 1;
    cmbConnType_Click(v);
    EXPECT_EQ(v["cmbConnSpeed"].items.size(), 6u);
    EXPECT_EQ(v["cmbConnSpeed"].items.back(), ">T1");
    v["cmbConnSpeed"].index = 5;
    EXPECT_EQ(v.SettingsFromControls().largeKB, 3500);
}

TEST(Wizard, ExitAndCloseReachEveryWindow) {
    Loaded w;
    cmdExit_Click(w.view);
    EXPECT_EQ(w.view.closes, 1);
    Form_QueryUnload(w.view);
    EXPECT_EQ(w.view.otherClosed, 1);
}

TEST(Wizard, TabChainSkipsCoveredHiddenAndDisabledControls) {
    Loaded w;
    RecordingView& v = w.view;
    // Name page: the settings page lies under it, the buttons of the bar are hidden.
    EXPECT_EQ(NextInTabChain(v, "txtTestId", true), "cmdExit");
    EXPECT_EQ(NextInTabChain(v, "cmdExit", true), "cmdOk");
    EXPECT_EQ(NextInTabChain(v, "cmdOk", true), "txtTestId");
    EXPECT_EQ(NextInTabChain(v, "txtTestId", false), "cmdOk");
    EXPECT_FALSE(InTabChain(v, "cmbConnType"));
    EXPECT_EQ(NextInTabChain(v, "", true), "txtTestId");

    v["txtTestId"].text = "Srv";
    cmdOk_Click(v);
    EXPECT_FALSE(InTabChain(v, "txtTestId"));
    EXPECT_EQ(NextInTabChain(v, "txtTestId", true), "cmbConnType");
    EXPECT_EQ(NextInTabChain(v, "txtPassword", true), "cmdBack");
    EXPECT_EQ(NextInTabChain(v, "cmdNext", true), "cmbConnType");  // results page hidden

    // A run: results page over the settings page, "Back" hidden, "Please Wait" disabled.
    v.SetVisible("fra1_0", false);
    v.SetVisible("fra1_1", true);
    v.SetVisible("cmdBack", false);
    v.SetEnabled("cmdNext", false);
    EXPECT_EQ(NextInTabChain(v, "txtTestResults", true), "txtTestResults");
    EXPECT_EQ(NextInTabChain(v, "cmbConnType", false), "txtTestResults");
}

// ---- runs from cmdNext, with the real engine and drones over temporary folders ---------------

class WizardRun : public ::testing::Test {
  protected:
    WizardRun() : w(RunEnvironment{root.Slash(), logs.Slash() + "TestResults.txt", {}}) {
        w.view["txtTestId"].text = "Seq";
        cmdOk_Click(w.view);
        w.view["txtDirPath"].text = target.Path().string();
    }
    // Clicks cmdNext and lets the run's events in until it has ended, `onEvent` after each.
    void Run() {
        w.view.cmdNext_Click();
        w.view.RunUntilIdle(onEvent);
    }
    void ExpectNothingLeft() const {
        EXPECT_TRUE(wirepace::testing::Entries(root.Path()).empty());
        EXPECT_TRUE(wirepace::testing::Entries(target.Path()).empty());
        EXPECT_TRUE(wirepace::testing::ProcessesRunningFrom(root.Slash()).empty());
    }

    wirepace::testing::TempDir root, target, logs;
    Loaded w;
    std::function<void()> onEvent;
};

TEST_F(WizardRun, AFinishedRunOffersTheReportsUntilTheResultsAreLeft) {
    RecordingView& v = w.view;
    std::vector<std::string> captionsDuringRun;
    onEvent = [&] {
        if (captionsDuringRun.empty())
            captionsDuringRun = {v["cmdNext"].text, v.busy ? "busy" : "idle",
                                 v["cmdBack"].visible ? "back" : "no back",
                                 v["fra1_1"].visible ? "results" : "settings"};
    };
    Run();
    EXPECT_EQ(captionsDuringRun, (std::vector<std::string>{"Stop", "busy", "no back", "results"}));
    EXPECT_EQ(v["lbl1_5"].text, "Finished");
    EXPECT_EQ(v["lbl1_7"].text, "");
    EXPECT_EQ(v["cmdNext"].text, "View Reports");
    EXPECT_TRUE(v["cmdNext"].enabled);
    EXPECT_EQ(v["cmdBack"].text, "Back");
    EXPECT_TRUE(v["cmdBack"].visible);
    EXPECT_FALSE(v.busy);
    EXPECT_EQ(v["txtDirPath"].text, target.Slash());  // normalised and shown
    // The box: the banner, nine result lines and the note below the first it concerns.
    const std::string& box = v.ResultsText();
    EXPECT_EQ(box.rfind("-- Starting Seq test at ", 0), 0u);
    EXPECT_EQ(std::count(box.begin(), box.end(), '\n'), 11);
    ASSERT_NE(v.LastResult(), nullptr);
    EXPECT_EQ(v.LastResult()->outcome, RunOutcome::Finished);
    const auto& tests = v.LastResult()->tests;
    ASSERT_EQ(tests.size(), 9u);
    EXPECT_NE(box.find(tests[6].logLine + "\r\ntarget is a local disk: no network diagnosis\r\n" +
                       tests[7].logLine + "\r\n"),
              box.npos)
        << box;
    EXPECT_TRUE(box.ends_with(tests[8].logLine + "\r\n"));
    EXPECT_EQ(v["txtTestResults"].text, box);
    EXPECT_EQ(v.focus, "txtTestResults");
    // Enter in the results box opens nothing: no button is the default while they show.
    EXPECT_EQ(v.defaultButton, "");
    EXPECT_FALSE(v.PressDefaultButton());
    EXPECT_TRUE(v.reports.empty());
    ExpectNothingLeft();

    // The reports stay on offer while the results are shown: a second click opens them
    // again (the window may have been closed meanwhile); "Back" leaves the results.
    v.cmdNext_Click();
    EXPECT_EQ(v.reports, std::vector<std::string>{"Seq: 9 tests"});
    EXPECT_EQ(v["cmdNext"].text, "View Reports");
    EXPECT_TRUE(v["cmdNext"].enabled);
    v.cmdNext_Click();
    EXPECT_EQ(v.reports, (std::vector<std::string>{"Seq: 9 tests", "Seq: 9 tests"}));
    EXPECT_EQ(v.closes, 0);
    cmdBack_Click(v);
    EXPECT_EQ(v["cmdNext"].text, "Run Tests");
    EXPECT_EQ(v.defaultButton, "cmdNext");
}

TEST_F(WizardRun, StopShowsItIsStoppingAndTheRunEndsInterrupted) {
    RecordingView& v = w.view;
    bool clicked = false;
    onEvent = [&] {
        if (!clicked && v.currentTest == 4) {
            clicked = true;
            v.cmdNext_Click();
            EXPECT_EQ(v["cmdNext"].text, "Please Wait");
            EXPECT_FALSE(v["cmdNext"].enabled);
            EXPECT_EQ(v["lbl1_5"].text, "Interrupted by user");
            EXPECT_EQ(v["lbl1_7"].text, "Please wait...");
            v.cmdNext_Click();  // the disabled caption does nothing
        }
    };
    Run();
    ASSERT_TRUE(clicked);
    EXPECT_EQ(v["lbl1_5"].text, "Interrupted by user");
    EXPECT_EQ(v["cmdNext"].text, "View Reports");
    EXPECT_FALSE(v["cmdNext"].enabled);
    EXPECT_FALSE(v.StopRequested());
    EXPECT_FALSE(v.Running());
    ExpectNothingLeft();
}

TEST_F(WizardRun, ACloseDuringARunCleansUpThenCloses) {
    RecordingView& v = w.view;
    bool asked = false;
    onEvent = [&] {
        // While test 7's drones are being waited for.
        if (!asked && v.currentTest == 7 && std::filesystem::exists(root.Path() / "GO.txt")) {
            asked = true;
            EXPECT_FALSE(v.RequestClose());
            EXPECT_EQ(v["cmdNext"].text, "Please Wait");
            EXPECT_EQ(v.closes, 0);
        }
    };
    Run();
    EXPECT_TRUE(asked);
    EXPECT_EQ(v.closes, 1);
    EXPECT_EQ(v["lbl1_5"].text, "Interrupted by user");
    ASSERT_NE(v.LastResult(), nullptr);
    EXPECT_EQ(v.LastResult()->tests.back().index, 6);  // test 7 is not recorded
    EXPECT_TRUE(v.RequestClose());                     // nothing runs any more
    ExpectNothingLeft();
}

TEST_F(WizardRun, RefusedInputLeavesTheSettingsPageAsItWas) {
    RecordingView& v = w.view;
    v["txtDirPath"].text = target.Slash() + "why?";
    Run();
    ASSERT_EQ(v.messages.size(), 1u);
    EXPECT_NE(v.messages[0].find("must not contain \"?\""), std::string::npos);
    EXPECT_EQ(v.focus, "txtDirPath");
    EXPECT_EQ(v["cmdNext"].text, "Run Tests");
    EXPECT_FALSE(v.busy);
    EXPECT_FALSE(v["fra1_1"].visible);
    EXPECT_EQ(v["txtDirPath"].text, target.Slash() + "why?");
    EXPECT_FALSE(std::filesystem::exists(logs.Path() / "TestResults.txt"));

    // An error: the box says what and why, and the reports stay closed.
    v["txtDirPath"].text = target.Slash() + "missing";
    Run();
    EXPECT_EQ(v["lbl1_5"].text, "ERROR");
    EXPECT_EQ(v.ResultsText(), "-- Error: Path not found [76]: " + target.Slash() +
                                   "missing/ --\r\n"
                                   "Please check target folder (spelling, permissions, etc.)\r\n");
    EXPECT_FALSE(v["cmdNext"].enabled);
    ExpectNothingLeft();
}

TEST_F(WizardRun, ARunThatStartsIsRememberedForTheNextWindow) {
    wirepace::testing::TempDir config;
    const SettingsStore store = SettingsStore::At(config.Slash() + "settings.json");
    RecordingView& v = w.view;
    v.RememberSettings(store);  // nothing stored yet: the controls stay as they are
    EXPECT_EQ(v.Text("cmbConnType"), wirepace::kWanType);
    EXPECT_EQ(v["txtDirPath"].text, target.Path().string());

    v["cmbConnType"].index = 0;
    cmbConnType_Click(v);
    v["cmbConnSpeed"].index = 2;
    v["txtUserName"].text = "CORP\\jo";
    v["txtPassword"].text = "pw-of-the-share";
    v["txtDirPath"].text = target.Slash() + "missing";  // the run ends at once
    Run();
    EXPECT_EQ(v["lbl1_5"].text, "ERROR");
    const std::string stored = wirepace::testing::ReadFile(config.Path() / "settings.json");
    EXPECT_EQ(stored.find("pw-of-the-share"), std::string::npos) << stored;

    // Input the run refuses is not remembered.
    cmdBack_Click(v);
    v["txtDirPath"].text = target.Slash() + "why?";
    const std::size_t messages = v.messages.size();
    Run();
    EXPECT_EQ(v.messages.size(), messages + 1);

    Loaded next;
    RecordingView& n = next.view;
    n.RememberSettings(store);
    EXPECT_EQ(n.Text("cmbConnType"), wirepace::kLanType);
    EXPECT_EQ(n["cmbConnSpeed"].items, (std::vector<std::string>{"10mb", "100mb", "1gb", "10gb"}));
    EXPECT_EQ(n.Text("cmbConnSpeed"), "1gb");
    EXPECT_EQ(n.SettingsFromControls().largeKB, 1048576);
    EXPECT_EQ(n["txtDirPath"].text, target.Slash() + "missing");
    EXPECT_EQ(n["txtUserName"].text, "CORP\\jo");
    EXPECT_EQ(n["txtPassword"].text, "");
    ExpectNothingLeft();
}
