// SPDX-License-Identifier: MIT
// The wizard's behaviour against a view without a toolkit: start-up, naming, the two meanings
// of cmdBack, the connection lists and the close.
#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "ui/forms/wizard.h"

using namespace wirepace::ui::forms;
using wirepace::BenchmarkState;

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
    RecordingView() {
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
    void CloseMainWindow() override { ++closes; }
    void CloseOtherWindows() override { ++otherClosed; }
    void FocusResultsAtEnd() override { focus = "txtTestResults"; }
    void SetBusy(bool) override {}
    void OpenReports() override {}
    void ShowMessage(const std::string&) override {}

    std::map<std::string, ControlState> controls;
    std::vector<std::string> zOrder;
    std::string focus, title;
    std::pair<int, int> size{};
    bool shown = false;
    int closes = 0, otherClosed = 0;

  private:
    ControlState& at(std::string_view c) { return controls.at(std::string(c)); }
};

struct Loaded {
    BenchmarkState state;
    RecordingView view;
    Loaded() {
        view["txtTestId"].text = "MyServer";
        view["txtDirPath"].text = "\\\\server\\share";
        Form_Load(view, state, 1, 0);
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
    EXPECT_EQ(w.state.SmallSizesKB.at(0), "16");
    EXPECT_EQ(w.state.LargeSizesKB.at(0), "160");
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

TEST(Wizard, BackAndNewTest) {
    Loaded w;
    RecordingView& v = w.view;
    v["txtTestId"].text = "Srv";
    cmdOk_Click(v);
    v["txtDirPath"].text = "D:\\target";
    v["cmbConnType"].index = 0;
    cmbConnType_Click(v, w.state);
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
    cmbConnType_Click(v, w.state);
    EXPECT_EQ(v["cmbConnSpeed"].items, (std::vector<std::string>{"10mb", "100mb"}));
    EXPECT_EQ(v.ListIndex("cmbConnSpeed"), 0);
    EXPECT_EQ(w.state.SmallSizesKB, (std::vector<std::string>{"1024", "10240"}));
    v["cmbConnSpeed"].index = 1;
    cmbConnType_Click(v, w.state);  // the same type again resets the speed
    EXPECT_EQ(v.ListIndex("cmbConnSpeed"), 0);
    v["cmbConnType"].index = 1;
    cmbConnType_Click(v, w.state);
    EXPECT_EQ(v["cmbConnSpeed"].items.size(), 6u);
    EXPECT_EQ(v["cmbConnSpeed"].items.back(), ">T1");
    EXPECT_EQ(w.state.LargeSizesKB.back(), "3500");
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
    v.ShowResultsPage();
    v.SetBackVisible(false);
    v.SetNextEnabled(false);
    EXPECT_EQ(NextInTabChain(v, "txtTestResults", true), "txtTestResults");
    EXPECT_EQ(NextInTabChain(v, "cmbConnType", false), "txtTestResults");
}
