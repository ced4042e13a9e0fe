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

}  // namespace

TEST(FormDesign, MainWindowControlsAndGeometry) {
    const FormDesign& f = MainForm();
    ExpectWellFormed(f);
    EXPECT_EQ(f.unit, Unit::Twips);
    EXPECT_EQ(f.clientWidth, 7335);
    EXPECT_EQ(f.clientHeight, 5415);
    // The button bar ends at the bottom of the client area, and the settings page reaches
    // from the banner to the button bar.
    EXPECT_EQ(f.Control("fraBottom").top + f.Control("fraBottom").height, f.clientHeight);
    EXPECT_LE(f.Control("fra1_0").top, f.Control("fraTop").height);
    EXPECT_GE(f.Control("fra1_0").top + f.Control("fra1_0").height, f.Control("fraBottom").top);

    const ControlDesign& next = f.Control("cmdNext");
    EXPECT_EQ(next.parent, "dummy_1");
    EXPECT_EQ(next.caption, "Run Tests");
    EXPECT_FALSE(next.visible);
    EXPECT_EQ(next.id, ids::cmdNext);
    EXPECT_EQ(f.Control("dummy_1").parent, "fraBottom");
    EXPECT_EQ(f.Control("dummy_1").left, 5760);
    EXPECT_TRUE(f.Control("cmdOk").isDefault);
    EXPECT_EQ(f.Control("txtPassword").kind, Kind::Password);
    EXPECT_EQ(f.Control("txtTestResults").kind, Kind::ResultsBox);
    EXPECT_STREQ(f.Control("txtTestResults").font.face, kSerifFace);
    EXPECT_EQ(f.Control("txtTestResults").font.points, 6.75);
    EXPECT_EQ(f.Control("lbl1_6").font.points, 13.5);
    EXPECT_TRUE(f.Control("lbl1_6").font.bold);
    EXPECT_EQ(f.Control("lbl1_6").fore, Sys(SystemColour::HighlightText));
    EXPECT_EQ(f.Control("fraTop").back, Fixed(128, 128, 128));
    EXPECT_EQ(f.Control("lbl1_2").caption, "Please type in full path of a target directory:");
    EXPECT_FALSE(f.Control("fra1_1").visible);
    EXPECT_EQ(f.Control("fra1_1").left, 1560);
    EXPECT_EQ(f.Find("nothing"), nullptr);
    EXPECT_THROW(f.Control("nothing"), std::out_of_range);

    // Every button sits in a holder, never directly in a frame.
    for (const ControlDesign& c : f.controls)
        if (c.kind == Kind::Button) {
            EXPECT_EQ(c.parent.rfind("dummy_", 0), 0u) << c.name;
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
    EXPECT_EQ(f.unit, Unit::Pixels);
    EXPECT_EQ(f.clientWidth, 740);
    EXPECT_EQ(f.clientHeight, 557);
    EXPECT_TRUE(f.Control("Graph").border);
    EXPECT_FALSE(f.Control("picLabels").border);
    EXPECT_EQ(f.Control("cmdClose").left, 640);
    EXPECT_EQ(f.Control("cmdClose").tabIndex, 0);
    EXPECT_EQ(f.TabChain().size(), 1u);
    EXPECT_EQ(f.Control("lbl1_2").align, Align::Right);
    EXPECT_EQ(f.Control("lbl1_2").parent, "picLabels");

    // Header row: yellow, bold, two lines high; the test name cell one pixel wider.
    const ControlDesign& header = f.Control("lblT_0");
    EXPECT_EQ(header.back, Fixed(192, 192, 0));
    EXPECT_TRUE(header.font.bold);
    EXPECT_EQ(header.width, 255);
    EXPECT_EQ(header.height, 31);
    const ControlDesign& speed = f.Control("lblT_48");  // row 9, column 3
    EXPECT_EQ(speed.left, 394);
    EXPECT_EQ(speed.top, 492);
    EXPECT_EQ(speed.width, 112);
    EXPECT_EQ(speed.height, 19);
    EXPECT_EQ(speed.align, Align::Right);
    EXPECT_EQ(speed.back, Sys(SystemColour::WindowBackground));
    EXPECT_FALSE(speed.font.bold);
    EXPECT_EQ(f.Control("lblT_49").align, Align::Left);
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
