// SPDX-License-Identifier: MIT
// The description of the two windows: every control findable, containers before their
// children, unique names and control ids, the tab chain and the design geometry.
#include <gtest/gtest.h>

#include <set>

#include "ui/forms/form_design.h"
#include "ui/forms/graph_picture.h"

using namespace wirepace::ui::forms;

namespace {

void ExpectWellFormed(const FormDesign& form) {
    std::set<std::string> names;
    std::set<int> ids;
    for (const ControlDesign& c : form.controls) {
        EXPECT_TRUE(names.insert(c.name).second) << "duplicate name " << c.name;
        EXPECT_TRUE(ids.insert(c.id).second) << "duplicate id " << c.id << " of " << c.name;
        EXPECT_GT(c.id, 0) << c.name;
        // A container is created before what it holds.
        if (!c.parent.empty()) {
            EXPECT_TRUE(names.count(c.parent)) << c.name << " comes before its container";
        }
        if (!c.autoSize) {
            EXPECT_GT(c.width, 0) << c.name;
            EXPECT_GT(c.height, 0) << c.name;
        }
    }
}

// The control of `form` named `c.parent`, or nullptr for the form itself.
const ControlDesign* ParentOf(const FormDesign& form, const ControlDesign& c) {
    return c.parent.empty() ? nullptr : &form.Control(c.parent);
}

// Every control lies inside its container (a frame, a holder or the client area), so no
// toolkit cuts a piece of it off.
void ExpectInsideContainers(const FormDesign& form) {
    for (const ControlDesign& c : form.controls) {
        // The results page waits beside the form until a run moves it over the settings page.
        if (c.autoSize || c.name == "fra1_1") continue;
        const ControlDesign* parent = ParentOf(form, c);
        const int width = parent ? parent->width : form.clientWidth;
        const int height = parent ? parent->height : form.clientHeight;
        EXPECT_GE(c.left, 0) << c.name;
        EXPECT_GE(c.top, 0) << c.name;
        EXPECT_LE(c.left + c.width, width) << c.name << " leaves " << c.parent;
        EXPECT_LE(c.top + c.height, height) << c.name << " leaves " << c.parent;
    }
}

}  // namespace

TEST(FormDesign, MainWindowControlsAndGeometry) {
    const FormDesign& f = MainForm();
    ExpectWellFormed(f);
    EXPECT_EQ(f.unit, Unit::Twips);
    // The results page is moved over the settings page during a run: it has room there too.
    ExpectInsideContainers(f);
    EXPECT_EQ(f.Control("fra1_1").width, f.Control("fra1_0").width);
    EXPECT_EQ(f.Control("fra1_1").height, f.Control("fra1_0").height);
    // The button bar ends at the bottom of the client area, and the settings page reaches
    // from the banner to the button bar.
    EXPECT_EQ(f.Control("fraBottom").top + f.Control("fraBottom").height, f.clientHeight);
    EXPECT_LE(f.Control("fra1_0").top, f.Control("fraTop").height);
    EXPECT_GE(f.Control("fra1_0").top + f.Control("fra1_0").height, f.Control("fraBottom").top);

    // The navigation buttons start as the wizard's state says: hidden, "Run Tests"/"New Test".
    EXPECT_EQ(f.Control("cmdNext").caption, kRunTests);
    EXPECT_EQ(f.Control("cmdBack").caption, kNewTest);
    EXPECT_FALSE(f.Control("cmdNext").visible);
    EXPECT_EQ(f.Control("cmdNext").id, ids::cmdNext);
    EXPECT_TRUE(f.Control("cmdOk").isDefault);
    EXPECT_EQ(f.Control("txtPassword").kind, Kind::Password);
    EXPECT_EQ(f.Control("txtTestResults").kind, Kind::ResultsBox);
    EXPECT_EQ(f.Find("nothing"), nullptr);
    EXPECT_THROW(f.Control("nothing"), std::out_of_range);

    // Every button sits in a holder, never directly in a frame; every text box and list of a
    // page lines up with the others of its page.
    for (const ControlDesign& c : f.controls) {
        if (c.kind == Kind::Button) {
            EXPECT_EQ(c.parent.rfind("dummy_", 0), 0u) << c.name;
        }
        if ((c.kind == Kind::TextBox || c.kind == Kind::DropList || c.kind == Kind::Password) &&
            c.parent == "fra1_0") {
            EXPECT_EQ(c.left, f.Control("txtDirPath").left) << c.name;
            EXPECT_EQ(c.width, f.Control("txtDirPath").width) << c.name;
        }
    }
}

TEST(FormDesign, MainWindowTabChain) {
    std::vector<std::string> chain;
    for (const ControlDesign* c : MainForm().TabChain()) chain.push_back(c->name);
    const std::vector<std::string> expected = {
        "txtTestId",   "cmdExit",     "cmdOk",   "cmbConnType", "cmbConnSpeed",  "txtDirPath",
        "txtUserName", "txtPassword", "cmdBack", "cmdNext",     "txtTestResults"};
    EXPECT_EQ(chain, expected);
}

TEST(FormDesign, GraphWindowControlsAndTableCells) {
    const FormDesign& f = GraphForm();
    ExpectWellFormed(f);
    ExpectInsideContainers(f);
    EXPECT_EQ(f.unit, Unit::Pixels);
    ASSERT_EQ(f.TabChain().size(), 2u);
    EXPECT_EQ(f.TabChain().front()->name, "cmdClose");
    EXPECT_EQ(f.TabChain().back()->name, "cmdSaveReport");
    // "Save Report..." beside "Close", on its line and of its size; Esc presses "Close" alone.
    const ControlDesign& save = f.Control("cmdSaveReport");
    const ControlDesign& close = f.Control("cmdClose");
    EXPECT_EQ(save.caption, "Save Report...");
    EXPECT_EQ(save.top, close.top);
    EXPECT_EQ(save.height, close.height);
    EXPECT_EQ(save.width, close.width);
    EXPECT_LT(save.left + save.width, close.left);
    EXPECT_GT(save.left, f.Control("Shape1_1").left);
    int cancels = 0;
    for (const ControlDesign& c : f.controls) cancels += c.isCancel;
    EXPECT_EQ(cancels, 1);
    EXPECT_TRUE(close.isCancel);

    // Every table cell sits where the table's geometry puts it, numbers right-aligned, texts
    // left; the header row bold on the header colour, the rows plain on the window colour.
    for (int row = 0; row <= 9; ++row)
        for (int column = 0; column < 5; ++column) {
            const ControlDesign& cell = f.Control("lblT_" + std::to_string(row * 5 + column));
            const CellBox box = CellGeometry(row, column);
            EXPECT_EQ(cell.left, box.left) << cell.name;
            EXPECT_EQ(cell.top, box.top) << cell.name;
            EXPECT_EQ(cell.width, box.width) << cell.name;
            EXPECT_EQ(cell.height, box.height) << cell.name;
            EXPECT_EQ(cell.font.bold, row == 0) << cell.name;
            EXPECT_EQ(cell.back, f.Control(row == 0 ? "lblT_0" : "lblT_5").back) << cell.name;
            if (row > 0) {
                const bool number = column >= 1 && column <= 3;
                EXPECT_EQ(cell.align, number ? Align::Right : Align::Left) << cell.name;
            }
        }
    // The rows stack without gaps or overlaps, and the header is taller than a row.
    for (int row = 2; row <= 9; ++row)
        EXPECT_EQ(CellGeometry(row, 0).top - CellGeometry(row - 1, 0).top,
                  CellGeometry(2, 0).top - CellGeometry(1, 0).top);
    EXPECT_GT(CellGeometry(0, 0).height, CellGeometry(1, 0).height);
    // The bar label the others are copied from stands right-aligned in its strip.
    EXPECT_EQ(f.Control("lbl1_2").align, Align::Right);
    EXPECT_EQ(f.Control("lbl1_2").parent, "picLabels");
}

TEST(FormDesign, TwipsToPixels) {
    EXPECT_EQ(TwipsToPixels(7335, 96), 489);
    EXPECT_EQ(TwipsToPixels(7335, 120), 611);
    EXPECT_EQ(TwipsToPixels(14, 96), 0);
    EXPECT_EQ(TwipsToPixels(1440, 144), 144);
}

TEST(FormDesign, TextRoomEndsAtTheNextControlOnTheLine) {
    const FormDesign& f = MainForm();
    EXPECT_EQ(TextRoom(f, f.Control("lbl1_2")), 4200 - 540);  // up to txtDirPath
    EXPECT_EQ(TextRoom(f, f.Control("lbl1_3")), 4200 - 2820);
    EXPECT_EQ(TextRoom(f, f.Control("lbl1_8")), 3000 - 840);  // up to txtTestId
    EXPECT_EQ(TextRoom(f, f.Control("lbl1_6")), 7335 - 120);  // the banner's width
    EXPECT_EQ(TextRoom(f, f.Control("lbl1_5")), 7335 - 120);
    EXPECT_EQ(TextRoom(GraphForm(), GraphForm().Control("Label1")), 740 - 250);
}
