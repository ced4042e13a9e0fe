// SPDX-License-Identifier: MIT
// The main window driven through its real widgets on the offscreen platform: the start state,
// the name page, the settings page and its lists, the layout, the results box and closing.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFontInfo>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/connection_settings.h"
#include "support/gui_test_main.h"
#include "support/modal_answers.h"
#include "support/screenshot.h"
#include "ui/forms/form_design.h"
#include "ui/forms/remembered_settings.h"
#include "ui/graph/frm_test_graph.h"
#include "ui/main/frm_main.h"

using wirepace::ui::FrmMain;

namespace {

const QString kFollow = QStringLiteral("Follow the instructions and press Run Tests.");

class Window {
  public:
    Window() : w(std::make_unique<FrmMain>()) {}
    ~Window() {
        wirepace::ui::CloseTestGraph();
        w->close();
    }

    template <class T>
    T* Get(const char* name) const {
        T* widget = w->findChild<T*>(QString::fromLatin1(name));
        if (!widget) throw std::runtime_error(std::string("no widget named ") + name);
        return widget;
    }
    QLineEdit* Box(const char* name) const { return Get<QLineEdit>(name); }
    QPushButton* Button(const char* name) const { return Get<QPushButton>(name); }
    QComboBox* List(const char* name) const { return Get<QComboBox>(name); }
    QString Caption(const char* name) const { return Get<QLabel>(name)->text(); }
    bool Shown(const char* name) const { return Get<QWidget>(name)->isVisible(); }

    // The name page accepted with `name`, so the settings page is in front.
    void Accept(const QString& name) const {
        Box("txtTestId")->setText(name);
        QTest::mouseClick(Button("cmdOk"), Qt::LeftButton);
    }

    // A user's pick in a drop-down list: the selection and the click it raises.
    static void Pick(QComboBox* list, int index) {
        list->setCurrentIndex(index);
        emit list->activated(index);
    }

    std::unique_ptr<FrmMain> w;
};

QStringList Items(QComboBox* list) {
    QStringList items;
    for (int i = 0; i < list->count(); ++i) items << list->itemText(i);
    return items;
}

using wirepace::testing::SaveScreenshot;

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void startsOnTheNamePage();
    void blankNamesAreRefused();
    void okAndEnterAcceptTheName();
    void inputIsCheckedWhereTypedAndEnterRunsTheTests();
    void longNamesEndInAnEllipsis();
    void newTestClearsTheBoxesOnly();
    void connectionTypeFillsSpeedsAndSizes();
    void opensWithTheRememberedSettings();
    void tabOrderFollowsTheDesign();
    void layoutMatchesTheDesign();
    void resultsBoxKeepsTheTextAsSet();
    void runPagesAndBusyPointer();
    void closingClosesEveryWindow();
    void textOutsideAsciiReachesTheCore();
    void everyTextFitsItsRoom();
};

void MainWindowTest::startsOnTheNamePage() {
    Window win;
    FrmMain& w = *win.w;
    QVERIFY(w.isVisible());
    QCOMPARE(w.windowTitle(), QStringLiteral("Wirepace v1.0"));

    // Name page over the settings page; the results page is hidden.
    QVERIFY(win.Shown("fra1_2"));
    QVERIFY(win.Shown("fra1_0"));
    QVERIFY(!win.Shown("fra1_1"));
    QVERIFY(
        win.Get<QWidget>("fra1_2")->geometry().intersects(win.Get<QWidget>("fra1_0")->geometry()));
    QWidget* top = w.childAt(win.Get<QWidget>("fra1_2")->geometry().center());
    QVERIFY(top == win.Get<QWidget>("fra1_2") || win.Get<QWidget>("fra1_2")->isAncestorOf(top));

    for (const char* box : {"txtTestId", "txtDirPath", "txtUserName", "txtPassword"})
        QVERIFY2(win.Box(box)->text().isEmpty(), box);
    QCOMPARE(w.focusWidget(), win.Box("txtTestId"));
    QCOMPARE(win.Caption("lbl1_6"), QString());
    QCOMPARE(win.Caption("lbl1_7"), QStringLiteral("Name new test:"));
    QVERIFY(!win.Shown("cmdNext"));
    QVERIFY(!win.Shown("cmdBack"));
    QCOMPARE(win.Button("cmdNext")->text(), QStringLiteral("Run Tests"));
    QCOMPARE(win.Button("cmdBack")->text(), QStringLiteral("New Test"));

    // WAN and its first speed are already chosen behind the name page.
    QCOMPARE(Items(win.List("cmbConnType")),
             QStringList({"Local Area Network (LAN)", "Wide Area Network (WAN)"}));
    QCOMPARE(win.List("cmbConnType")->currentIndex(), 1);
    QCOMPARE(win.List("cmbConnSpeed")->currentText(), QStringLiteral("<256"));
    QCOMPARE(w.ListIndex("cmbConnSpeed"), 0);
    QCOMPARE(w.SettingsFromControls().smallKB, 16);
    QCOMPARE(w.SettingsFromControls().largeKB, 160);

    // The holders of the hidden navigation buttons disappear into the grey bar.
    const QImage shot = w.grab().toImage();
    QCOMPARE(shot.pixelColor(30, 320), QColor(128, 128, 128));
    QCOMPARE(shot.pixelColor(460, 340), QColor(128, 128, 128));

    SaveScreenshot(&w, "main_name_page.png");
}

void MainWindowTest::blankNamesAreRefused() {
    Window win;
    for (const QString& name : {QString(), QStringLiteral("   ")}) {
        win.Box("txtTestId")->setText(name);
        QTest::mouseClick(win.Button("cmdOk"), Qt::LeftButton);
        QTest::keyClick(win.Box("txtTestId"), Qt::Key_Return);
        QTest::keyClick(win.Box("txtTestId"), Qt::Key_Enter);
        QVERIFY(win.Shown("fra1_2"));
        QVERIFY(!win.Shown("cmdNext"));
        QVERIFY(!win.Shown("cmdBack"));
        QCOMPARE(win.Caption("lbl1_6"), QString());
        QCOMPARE(win.Caption("lbl1_7"), QStringLiteral("Name new test:"));
        QCOMPARE(win.Box("txtTestId")->text(), name);
    }
}

void MainWindowTest::okAndEnterAcceptTheName() {
    // OK, the Return key and the keypad's Enter all accept; the banner keeps the blanks.
    for (int way = 0; way < 3; ++way) {
        Window win;
        QLineEdit* name = win.Box("txtTestId");
        QSignalSpy returned(name, &QLineEdit::returnPressed);
        QTest::keyClicks(name, "  My Server ");
        QCOMPARE(name->text(), QStringLiteral("  My Server "));  // typing is not swallowed
        if (way == 0) QTest::mouseClick(win.Button("cmdOk"), Qt::LeftButton);
        if (way == 1) QTest::keyClick(name, Qt::Key_Return);
        if (way == 2) QTest::keyClick(name, Qt::Key_Enter);
        if (way > 0) QCOMPARE(returned.count(), 1);  // the key still reaches the box
        QVERIFY(!win.w->Running());                  // ... and runs nothing further

        QCOMPARE(win.Caption("lbl1_6"), QStringLiteral("  My Server "));
        QCOMPARE(win.Caption("lbl1_7"), kFollow);
        QVERIFY(!win.Shown("fra1_2"));
        QVERIFY(win.Shown("fra1_0"));
        QVERIFY(win.Shown("cmdNext"));
        QVERIFY(win.Button("cmdNext")->isEnabled());
        QCOMPARE(win.Button("cmdNext")->text(), QStringLiteral("Run Tests"));
        QVERIFY(win.Shown("cmdBack"));
        QCOMPARE(win.Button("cmdBack")->text(), QStringLiteral("New Test"));
        QCOMPARE(win.w->Text("txtTestId"), std::string("  My Server "));
        if (way == 0) {
            win.Box("txtDirPath")->setText("/mnt/bench/");
            win.Box("txtUserName")->setText("bench");
            win.Box("txtPassword")->setText("secret");
            SaveScreenshot(win.w.get(), "main_settings_page.png");
        }
    }
}

void MainWindowTest::inputIsCheckedWhereTypedAndEnterRunsTheTests() {
    Window win;
    FrmMain& w = *win.w;
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QVERIFY(win.Button("cmdOk")->isDefault());
    wirepace::testing::MessageBoxWatch boxes;
    // A control character in the name is refused on OK; the name page stays as typed.
    QLineEdit* name = win.Box("txtTestId");
    name->setText(QStringLiteral("Branch\tB"));
    QTest::keyClick(name, Qt::Key_Return);
    QCOMPARE(boxes.texts.size(), 1);
    QVERIFY2(boxes.texts[0].startsWith("The test name must not contain control characters"),
             qPrintable(boxes.texts[0]));
    QVERIFY(win.Shown("fra1_2"));
    QVERIFY(!win.Shown("cmdNext"));
    QCOMPARE(name->text(), QStringLiteral("Branch\tB"));
    QCOMPARE(w.focusWidget(), name);

    // Corrected in place; Enter accepts it and the keyboard goes on with the settings, the
    // focus shown as after Tab; "Run Tests" is now what Enter presses.
    name->setText(QStringLiteral("Branch B"));
    QTest::keyClick(name, Qt::Key_Return);
    QCOMPARE(boxes.texts.size(), 1);
    QVERIFY(!win.Shown("fra1_2"));
    QComboBox* first = win.List("cmbConnType");
    QCOMPARE(w.focusWidget(), first);
    QVERIFY(w.testAttribute(Qt::WA_KeyboardFocusChange));
    QVERIFY(win.Button("cmdNext")->isDefault());
    QVERIFY(!win.Button("cmdOk")->isDefault());
    w.activateWindow();  // the message box had it
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QVERIFY(first->hasFocus());
    const QImage focused = first->grab().toImage();
    SaveScreenshot(&w, "main_focus_after_ok.png");

    // Enter in a box of the settings page runs the tests; the folder is checked then, named
    // and focused, and nothing runs.
    QLineEdit* dir = win.Box("txtDirPath");
    dir->setText(QStringLiteral("/srv/why?/"));
    win.Box("txtUserName")->setFocus();
    QTest::keyClick(win.Box("txtUserName"), Qt::Key_Return);
    QCOMPARE(boxes.texts.size(), 2);
    QVERIFY2(boxes.texts[1].startsWith("The target directory must not contain \"?\""),
             qPrintable(boxes.texts[1]));
    QCOMPARE(w.focusWidget(), dir);
    QVERIFY(!w.Running());
    QCOMPARE(win.Button("cmdNext")->text(), QStringLiteral("Run Tests"));
    QCOMPARE(w.Text("txtTestId"), std::string("Branch B"));
    // Enter in a list presses it too.
    dir->setText(QStringLiteral("/srv/ok/"));
    win.Box("txtUserName")->setText(QStringLiteral("jo\x01"));
    first->setFocus();
    QTest::keyClick(first, Qt::Key_Return);
    QCOMPARE(boxes.texts.size(), 3);
    QVERIFY2(boxes.texts[2].startsWith("The account name must not contain control characters"),
             qPrintable(boxes.texts[2]));
    QCOMPARE(w.focusWidget(), win.Box("txtUserName"));

    // The ring is drawn: the focused list looks different from the same list unfocused.
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    win.Box("txtUserName")->setFocus();
    QVERIFY2(first->grab().toImage() != focused, "no focus ring on the first settings control");
}

void MainWindowTest::longNamesEndInAnEllipsis() {
    Window win;
    const QString longName = QStringLiteral("Branch office of the north-western region, floor ") +
                             QString(40, QChar(u'W'));
    win.Accept(longName);
    QLabel* banner = win.Get<QLabel>("lbl1_6");
    const auto& form = wirepace::ui::forms::MainForm();
    const int room = wirepace::ui::forms::TwipsToPixels(
        wirepace::ui::forms::TextRoom(form, form.Control("lbl1_6")), 96);
    QVERIFY2(banner->text().endsWith(QChar(0x2026)), qPrintable(banner->text()));
    QVERIFY(banner->text().startsWith("Branch office of the"));
    QVERIFY(banner->x() + banner->width() <= banner->x() + room);
    QVERIFY(banner->fontMetrics().horizontalAdvance(banner->text()) <= room);
    // The name itself is whole: in the run's settings and in the tooltip.
    QCOMPARE(QString::fromStdString(win.w->Text("lbl1_6")), longName);
    QCOMPARE(QString::fromStdString(win.w->SettingsFromControls().testName), longName);
    QCOMPARE(banner->toolTip(), longName);
    SaveScreenshot(win.w.get(), "main_long_name.png");
    // A name that fits is shown as it is, without a tooltip.
    win.Button("cmdBack")->click();
    win.Accept("Short");
    QCOMPARE(banner->text(), QStringLiteral("Short"));
    QVERIFY(banner->toolTip().isEmpty());
}

void MainWindowTest::newTestClearsTheBoxesOnly() {
    Window win;
    win.Accept("Server A");
    win.Box("txtDirPath")->setText("/srv/target");
    win.Box("txtUserName")->setText("alice");
    win.Box("txtPassword")->setText("pw");
    Window::Pick(win.List("cmbConnType"), 0);
    win.List("cmbConnSpeed")->setCurrentIndex(1);
    win.w->SetResultsText("-- Starting Server A test at 10:00:00 --\r\n");

    QTest::mouseClick(win.Button("cmdBack"), Qt::LeftButton);

    for (const char* box : {"txtTestId", "txtDirPath", "txtUserName", "txtPassword"})
        QVERIFY2(win.Box(box)->text().isEmpty(), box);
    QVERIFY(win.Shown("fra1_2"));
    QVERIFY(!win.Shown("cmdNext"));
    QVERIFY(!win.Shown("cmdBack"));
    QCOMPARE(win.Caption("lbl1_6"), QString());
    QCOMPARE(win.Caption("lbl1_7"), QStringLiteral("Name new test:"));
    QCOMPARE(win.w->focusWidget(), win.Box("txtTestId"));
    QCOMPARE(win.List("cmbConnType")->currentText(), QStringLiteral("Local Area Network (LAN)"));
    QCOMPARE(win.List("cmbConnSpeed")->currentText(), QStringLiteral("100mb"));
    QCOMPARE(win.w->ResultsText(), std::string("-- Starting Server A test at 10:00:00 --\r\n"));
    QCOMPARE(win.w->SettingsFromControls().smallKB, 10240);

    // A new name goes straight back to the same settings.
    win.Accept("Server B");
    QCOMPARE(win.Caption("lbl1_6"), QStringLiteral("Server B"));
    QCOMPARE(win.List("cmbConnSpeed")->currentIndex(), 1);
}

void MainWindowTest::opensWithTheRememberedSettings() {
    QTemporaryDir config;
    const std::string file = config.filePath("settings.json").toStdString();
    const auto store = wirepace::ui::forms::SettingsStore::At(file);
    wirepace::RunSettings last = *wirepace::SettingsFor(wirepace::kLanType, "10gb");
    last.target = "//fileserver/b\xC3\xA4nch";
    last.account = "CORP\\jo";
    last.password = "secret";
    QVERIFY(!store.Save(last));

    Window win;
    win.w->RememberSettings(store);
    win.Accept("remembered");
    QCOMPARE(win.List("cmbConnType")->currentText(), QStringLiteral("Local Area Network (LAN)"));
    QCOMPARE(Items(win.List("cmbConnSpeed")), QStringList({"10mb", "100mb", "1gb", "10gb"}));
    QCOMPARE(win.List("cmbConnSpeed")->currentText(), QStringLiteral("10gb"));
    QCOMPARE(win.Box("txtDirPath")->text(), QString::fromUtf8("//fileserver/b\xC3\xA4nch"));
    QCOMPARE(win.Box("txtUserName")->text(), QStringLiteral("CORP\\jo"));
    QVERIFY(win.Box("txtPassword")->text().isEmpty());
    QCOMPARE(win.w->SettingsFromControls().largeKB, 10485760);
    SaveScreenshot(win.w.get(), "main_remembered_settings.png");

    // A damaged file: the window opens as on a first start.
    QFile damaged(QString::fromStdString(file));
    QVERIFY(damaged.open(QIODevice::WriteOnly | QIODevice::Truncate));
    damaged.write("{\"ConnectionType\": [1, 2");
    damaged.close();
    Window fresh;
    fresh.w->RememberSettings(store);
    QCOMPARE(fresh.List("cmbConnType")->currentIndex(), 1);
    QCOMPARE(fresh.List("cmbConnSpeed")->currentText(), QStringLiteral("<256"));
    QVERIFY(fresh.Box("txtDirPath")->text().isEmpty());
}

void MainWindowTest::connectionTypeFillsSpeedsAndSizes() {
    Window win;
    win.Accept("links");
    QComboBox* type = win.List("cmbConnType");
    QComboBox* speed = win.List("cmbConnSpeed");

    Window::Pick(type, 0);
    QCOMPARE(Items(speed), QStringList({"10mb", "100mb", "1gb", "10gb"}));
    QCOMPARE(speed->currentIndex(), 0);
    QCOMPARE(win.w->SettingsFromControls().smallKB, 1024);
    QCOMPARE(win.w->SettingsFromControls().largeKB, 10240);
    // The entries for today's links: 100 MB / 1 GB and 1 GB / 10 GB.
    speed->setCurrentIndex(2);
    QCOMPARE(win.w->SettingsFromControls().smallKB, 102400);
    QCOMPARE(win.w->SettingsFromControls().largeKB, 1048576);
    speed->setCurrentIndex(3);
    QCOMPARE(win.w->SettingsFromControls().speedEntry, std::string("10gb"));
    QCOMPARE(win.w->SettingsFromControls().largeKB, 10485760);
    speed->setCurrentIndex(1);
    QCOMPARE(win.w->ListIndex("cmbConnSpeed"), 1);

    // Picking the type already chosen starts again from the first speed.
    Window::Pick(type, 0);
    QCOMPARE(speed->currentIndex(), 0);
    QCOMPARE(speed->count(), 4);

    Window::Pick(type, 1);
    QCOMPARE(Items(speed), QStringList({"<256", "256-512", "512-768", "768-T1", "T1", ">T1"}));
    QCOMPARE(speed->currentText(), QStringLiteral("<256"));
    QCOMPARE(win.w->SettingsFromControls().smallKB, 16);
    speed->setCurrentIndex(5);
    QCOMPARE(win.w->SettingsFromControls().smallKB, 350);
    QCOMPARE(win.w->SettingsFromControls().largeKB, 3500);

    // The keyboard's pick raises the same handler.
    type->setFocus();
    QTest::keyClick(type, Qt::Key_Up);
    QCOMPARE(type->currentIndex(), 0);
    QCOMPARE(Items(speed), QStringList({"10mb", "100mb", "1gb", "10gb"}));
    QTest::keyClick(type, Qt::Key_Down);
    QCOMPARE(speed->count(), 6);
    QCOMPARE(speed->currentIndex(), 0);

    // Nothing but a pick changes the lists: choosing a speed leaves the tables alone.
    speed->setCurrentIndex(3);
    QCOMPARE(speed->count(), 6);
    QCOMPARE(win.w->SettingsFromControls().speedEntry, std::string("768-T1"));
}

void MainWindowTest::tabOrderFollowsTheDesign() {
    Window win;
    const std::vector<const char*> order = {
        "txtTestId",   "cmdExit",     "cmdOk",   "cmbConnType", "cmbConnSpeed",  "txtDirPath",
        "txtUserName", "txtPassword", "cmdBack", "cmdNext",     "txtTestResults"};
    // The focus chain among the controls that take the focus with Tab.
    std::vector<QString> chain;
    QWidget* at = win.Get<QWidget>("txtTestId");
    for (int guard = 0; guard < 200 && chain.size() < order.size(); ++guard) {
        if ((at->focusPolicy() & Qt::TabFocus) && win.w->isAncestorOf(at))
            chain.push_back(at->objectName());
        at = at->nextInFocusChain();
        if (at == win.Get<QWidget>("txtTestId")) break;
    }
    QCOMPARE(chain.size(), order.size());
    for (std::size_t i = 0; i < order.size(); ++i) QCOMPARE(chain[i], QString(order[i]));

    // And the real key on the name page.
    win.w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(win.w.get()));
    win.Box("txtTestId")->setFocus();
    QTest::keyClick(win.w.get(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), win.Button("cmdExit"));
    QTest::keyClick(win.w.get(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), win.Button("cmdOk"));
    QTest::keyClick(win.w.get(), Qt::Key_Backtab);
    QCOMPARE(QApplication::focusWidget(), win.Button("cmdExit"));
    // The settings page lies under the name page: Tab never reaches its lists (an arrow key
    // there once switched WAN to LAN unseen).
    QTest::keyClick(win.w.get(), Qt::Key_Tab);
    QTest::keyClick(win.w.get(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), win.Box("txtTestId"));
    for (int i = 0; i < 6; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QVERIFY2(QApplication::focusWidget() != win.List("cmbConnType") &&
                     QApplication::focusWidget() != win.List("cmbConnSpeed"),
                 "Tab reached a covered list");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    }
    QCOMPARE(win.List("cmbConnType")->currentIndex(), 1);

    // On the settings page the chain skips the hidden name page and results page.
    win.Accept("tabs");
    win.Box("txtPassword")->setFocus();
    QTest::keyClick(win.Box("txtPassword"), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), win.Button("cmdBack"));
    QTest::keyClick(win.Button("cmdBack"), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), win.Button("cmdNext"));
    QTest::keyClick(win.Button("cmdNext"), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), win.List("cmbConnType"));
    QTest::keyClick(win.List("cmbConnType"), Qt::Key_Backtab);
    QCOMPARE(QApplication::focusWidget(), win.Button("cmdNext"));
}

void MainWindowTest::layoutMatchesTheDesign() {
    Window win;
    FrmMain& w = *win.w;
    // 7335 x 5415 twips of client area at 15 twips a pixel, fixed, no maximise box.
    QCOMPARE(w.size(), QSize(489, 361));
    QCOMPARE(w.minimumSize(), w.maximumSize());
    QVERIFY(!(w.windowFlags() & Qt::WindowMaximizeButtonHint));
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QPoint off = w.frameGeometry().center() - screen->availableGeometry().center();
        QVERIFY2(off.manhattanLength() <= 2, "the window is centred");
    }

    // Every control where the description puts it, in its container, at 15 twips a pixel.
    const auto& form = wirepace::ui::forms::MainForm();
    const auto px = [](int twips) { return wirepace::ui::forms::TwipsToPixels(twips, 96); };
    for (const auto& c : form.controls) {
        QWidget* widget = win.Get<QWidget>(c.name.c_str());
        QCOMPARE(widget->parentWidget()->objectName(),
                 QString::fromStdString(c.parent.empty() ? form.name : c.parent));
        QCOMPARE(widget->pos(), QPoint(px(c.left), px(c.top)));
        if (!c.autoSize) QCOMPARE(widget->size(), QSize(px(c.width), px(c.height)));
    }
    for (const char* name : {"lbl1_0", "lbl1_1", "lbl1_2", "lbl1_3", "lbl1_4", "lbl1_8"})
        QCOMPARE(win.Caption(name), QString::fromStdString(form.Control(name).caption));
    QCOMPARE(win.Button("cmdExit")->text(),
             QString::fromStdString(form.Control("cmdExit").caption));
    QCOMPARE(win.Button("cmdOk")->text(), QString::fromStdString(form.Control("cmdOk").caption));

    // Labels grow and shrink with their caption.
    QLabel* banner = win.Get<QLabel>("lbl1_6");
    win.Accept("A");
    const int narrow = banner->width();
    QCOMPARE(narrow, banner->sizeHint().width());
    win.Get<QPushButton>("cmdBack")->click();
    win.Accept("A much longer test name");
    QVERIFY(banner->width() > narrow * 5);
    QCOMPARE(banner->width(), banner->sizeHint().width());
    QVERIFY(banner->fontMetrics().horizontalAdvance(banner->text()) <= banner->width());

    // Fonts, colours.
    QCOMPARE(banner->font().pointSizeF(), 13.5);
    QVERIFY(banner->font().bold());
    QCOMPARE(win.Get<QLabel>("lbl1_7")->font().pointSizeF(), 9.75);
    QCOMPARE(win.Get<QLabel>("lbl1_5")->font().pointSizeF(), 13.5);
    QCOMPARE(win.Get<QLabel>("lbl1_0")->font().pointSizeF(), 8.25);
    const QFont log = win.Get<QPlainTextEdit>("txtTestResults")->font();
    QCOMPARE(log.pointSizeF(), 6.75);
    QVERIFY2(QFontInfo(log).family() != QFontInfo(banner->font()).family(),
             "the results box uses the serif face");
    const QColor highlightText = w.palette().color(QPalette::HighlightedText);
    QCOMPARE(banner->palette().color(QPalette::WindowText), highlightText);
    QCOMPARE(win.Get<QLabel>("lbl1_7")->palette().color(QPalette::WindowText), highlightText);

    const QImage shot = w.grab().toImage();
    const QColor grey(128, 128, 128);
    QCOMPARE(shot.pixelColor(480, 2), grey);    // banner, right of its texts
    QCOMPARE(shot.pixelColor(200, 358), grey);  // button bar between the buttons
    for (const char* holder : {"dummy_0", "dummy_1"})
        QCOMPARE(win.Get<QWidget>(holder)->palette().color(QPalette::Window), grey);
    const QColor face = w.palette().color(QPalette::Button);
    QCOMPARE(shot.pixelColor(4, 150), face);   // margin of the settings page
    QCOMPARE(shot.pixelColor(40, 120), face);  // name page

    // The password shows stars only.
    win.Box("txtPassword")->setText("abc");
    QCOMPARE(win.Box("txtPassword")->displayText(), QStringLiteral("***"));
    QCOMPARE(w.Text("txtPassword"), std::string("abc"));
}

void MainWindowTest::resultsBoxKeepsTheTextAsSet() {
    Window win;
    FrmMain& w = *win.w;
    auto* box = win.Get<QPlainTextEdit>("txtTestResults");
    const std::string text = "-- Starting x test at 10:00:00 --\r\nline two\r\n\r\nlast";
    w.SetResultsText(text);
    QCOMPARE(w.ResultsText(), text);
    QCOMPARE(box->toPlainText(),
             QStringLiteral("-- Starting x test at 10:00:00 --\nline two\n\nlast"));
    QCOMPARE(box->blockCount(), 4);

    // Appending the way the core does keeps every CR LF.
    w.SetResultsText(w.ResultsText() + "\r\nmore\r\n");
    QCOMPARE(w.ResultsText(), text + "\r\nmore\r\n");

    std::string many;
    for (int i = 0; i < 80; ++i) many += "line " + std::to_string(i) + "\r\n";
    w.ShowResultsPage();
    w.SetResultsText(many);
    w.FocusResultsAtEnd();
    QCOMPARE(w.focusWidget(), static_cast<QWidget*>(box));
    QCOMPARE(box->textCursor().position(), box->document()->characterCount() - 1);
    QVERIFY(box->verticalScrollBar()->value() > 0);
    QCOMPARE(box->verticalScrollBar()->value(), box->verticalScrollBar()->maximum());

    // The box is read-only: typing and a Return (once a blank line during a run) change
    // nothing, so the box always shows the log; it keeps its focus and caret.
    w.SetResultsText("a\r\n");
    box->moveCursor(QTextCursor::End);
    QTest::keyClicks(box, "b");
    QTest::keyClick(box, Qt::Key_Return);
    QCOMPARE(w.ResultsText(), std::string("a\r\n"));
    QCOMPARE(box->toPlainText(), QStringLiteral("a\n"));
    QVERIFY(box->isReadOnly());
    QVERIFY(box->textInteractionFlags() & Qt::TextSelectableByKeyboard);
    QCOMPARE(w.focusWidget(), static_cast<QWidget*>(box));
}

void MainWindowTest::runPagesAndBusyPointer() {
    Window win;
    FrmMain& w = *win.w;
    win.Accept("pages");
    w.SetBusy(true);
    QCOMPARE(w.cursor().shape(), Qt::WaitCursor);
    // The results box keeps a pointer of its own, so the log stays readable during a run.
    auto* box = win.Get<QPlainTextEdit>("txtTestResults");
    QVERIFY(box->testAttribute(Qt::WA_SetCursor));
    QVERIFY(box->viewport()->testAttribute(Qt::WA_SetCursor));
    QVERIFY(box->viewport()->cursor().shape() != Qt::WaitCursor);
    QVERIFY(box->cursor().shape() != Qt::WaitCursor);
    w.SetBusy(false);
    QCOMPARE(w.cursor().shape(), Qt::ArrowCursor);

    // The run's results page takes the settings page's place.
    w.ShowResultsPage();
    QCOMPARE(win.Get<QWidget>("fra1_1")->pos(), QPoint(0, 56));
    QVERIFY(win.Shown("fra1_1"));
    QVERIFY(!win.Shown("fra1_0"));
    w.Status("Finished", "", false);
    QCOMPARE(win.Caption("lbl1_5"), QStringLiteral("Finished"));
    QCOMPARE(win.Get<QLabel>("lbl1_5")->width(), win.Get<QLabel>("lbl1_5")->sizeHint().width());
    w.SetText("lbl1_7", "");
    QCOMPARE(win.Caption("lbl1_7"), QString());

    // "Back" after a run: settings again, name and log kept.
    w.SetResultsText("log line\r\n");
    w.SetText("cmdBack", "Back");
    w.SetVisible("cmdBack", true);
    w.SetText("cmdNext", "View Reports");
    w.SetEnabled("cmdNext", false);
    QTest::mouseClick(win.Button("cmdBack"), Qt::LeftButton);
    QVERIFY(!win.Shown("fra1_1"));
    QVERIFY(win.Shown("fra1_0"));
    QCOMPARE(win.Button("cmdBack")->text(), QStringLiteral("New Test"));
    QCOMPARE(win.Button("cmdNext")->text(), QStringLiteral("Run Tests"));
    QVERIFY(win.Button("cmdNext")->isEnabled());
    QCOMPARE(win.Caption("lbl1_7"), kFollow);
    QCOMPARE(win.Caption("lbl1_6"), QStringLiteral("pages"));
    QCOMPARE(w.ResultsText(), std::string("log line\r\n"));

    // A button caption the sequence does not know does nothing.
    w.SetText("cmdNext", "Please Wait");
    QTest::mouseClick(win.Button("cmdNext"), Qt::LeftButton);
    QCOMPARE(win.Button("cmdNext")->text(), QStringLiteral("Please Wait"));
    QVERIFY(w.isVisible());
}

void MainWindowTest::closingClosesEveryWindow() {
    // By cmdExit on the name page, by the close box, and by the "Exit" caption of cmdNext.
    for (int way = 0; way < 3; ++way) {
        Window win;
        FrmMain& w = *win.w;
        win.Accept("closing");
        w.OpenReports(wirepace::RunResult{}, w.Text("txtTestId"));
        QWidget* graph = wirepace::ui::TestGraphWindow();
        QVERIFY(graph);
        QVERIFY(graph->isVisible());
        QCOMPARE(graph->windowTitle(), QStringLiteral("Test Results for closing"));
        if (way == 0) {
            QTest::mouseClick(win.Button("cmdBack"), Qt::LeftButton);  // back to the name page
            QTest::mouseClick(win.Button("cmdExit"), Qt::LeftButton);
        } else if (way == 1) {
            QVERIFY(w.close());
        } else {
            w.SetText("cmdNext", "Exit");
            QTest::mouseClick(win.Button("cmdNext"), Qt::LeftButton);
        }
        QVERIFY(!w.isVisible());
        QTRY_VERIFY(wirepace::ui::TestGraphWindow() == nullptr);
    }
}

void MainWindowTest::textOutsideAsciiReachesTheCore() {
    Window win;
    QLineEdit* name = win.Box("txtTestId");
    // Typed key by key, one character outside the basic plane (two UTF-16 units) among them.
    for (const QString& typed : {QStringLiteral("a"), QString::fromUtf8("\xF0\x9F\x98\x80"),
                                 QStringLiteral("b"), QString::fromUtf8("\xC3\xA9")}) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, typed);
        QApplication::sendEvent(name, &press);
    }
    QTest::keyClick(name, Qt::Key_Return);
    QCOMPARE(win.w->Text("txtTestId"), std::string("a\xF0\x9F\x98\x80"
                                                   "b\xC3\xA9"));
    QCOMPARE(win.Caption("lbl1_6"), QString::fromUtf8("a\xF0\x9F\x98\x80"
                                                      "b\xC3\xA9"));
    win.Box("txtDirPath")->setText(QString::fromUtf8("/srv/\xE6\x97\xA5\xE6\x9C\xAC"));
    QCOMPARE(win.w->Text("txtDirPath"), std::string("/srv/\xE6\x97\xA5\xE6\x9C\xAC"));
    win.w->TargetShown("/srv/\xF0\x9F\x98\x80/");
    QCOMPARE(win.Box("txtDirPath")->text(), QString::fromUtf8("/srv/\xF0\x9F\x98\x80/"));
}

void MainWindowTest::everyTextFitsItsRoom() {
    Window win;
    FrmMain& w = *win.w;
    const auto& form = wirepace::ui::forms::MainForm();
    auto px = [](int twips) { return twips / 15; };
    // Labels with the longest texts they get: design captions, a long test name, the
    // instruction and status lines of a run.
    win.Accept("WWWWWWWWWWWWWWWWWWWW");
    w.Status("Establishing connection...", "Please Wait...", false);
    for (const auto& c : form.controls) {
        if (c.kind != wirepace::ui::forms::Kind::Label) continue;
        QLabel* label = win.Get<QLabel>(c.name.c_str());
        const int room = px(wirepace::ui::forms::TextRoom(form, c));
        const int needed = label->fontMetrics().horizontalAdvance(label->text());
        QVERIFY2(needed <= room && label->width() <= room,
                 qPrintable(QString("%1 \"%2\" needs %3 of %4 pixels")
                                .arg(QString::fromStdString(c.name), label->text())
                                .arg(needed)
                                .arg(room)));
        QVERIFY2(label->x() + label->width() <= label->parentWidget()->width(),
                 qPrintable(QString::fromStdString(c.name)));
    }
    w.Status("LOCAL TIME SMALL", "1a", true);
    QVERIFY(win.Get<QLabel>("lbl1_7")->width() <= px(form.Control("fraTop").width - 420));
    // Every entry of both lists inside the closed list's text field.
    for (const char* name : {"cmbConnType", "cmbConnSpeed"}) {
        for (int type = 0; type < 2; ++type) {
            Window::Pick(win.List("cmbConnType"), type);
            QComboBox* list = win.List(name);
            QStyleOptionComboBox option;
            option.initFrom(list);
            option.editable = false;
            const QRect field = list->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                              QStyle::SC_ComboBoxEditField, list);
            for (int i = 0; i < list->count(); ++i) {
                const int needed = list->fontMetrics().horizontalAdvance(list->itemText(i));
                QVERIFY2(needed <= field.width(), qPrintable(QString("%1 needs %2 of %3 pixels")
                                                                 .arg(list->itemText(i))
                                                                 .arg(needed)
                                                                 .arg(field.width())));
            }
        }
    }
    // Button captions, the longest ones included.
    w.SetText("cmdNext", "View Reports");
    w.SetText("cmdBack", "New Test");
    for (const char* name : {"cmdOk", "cmdExit", "cmdBack", "cmdNext"}) {
        QPushButton* b = win.Button(name);
        QVERIFY2(b->fontMetrics().horizontalAdvance(b->text()) + 8 <= b->width(), name);
    }
    w.SetText("cmdNext", "Please Wait");
    QVERIFY(win.Button("cmdNext")->fontMetrics().horizontalAdvance("Please Wait") + 8 <=
            win.Button("cmdNext")->width());
}

int main(int argc, char** argv) {
    return wirepace::testing::RunWindowTests<MainWindowTest>(argc, argv);
}

#include "main_window_test.moc"
