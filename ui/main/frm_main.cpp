// SPDX-License-Identifier: MIT
#include "ui/main/frm_main.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTextCursor>

#include "core/benchmark_state.h"
#include "core/connection_settings.h"
#include "ui/graph/frm_test_graph.h"
#include "ui/graph/graph_controls.h"

#ifndef WIREPACE_VERSION_MAJOR
#define WIREPACE_VERSION_MAJOR 0
#endif
#ifndef WIREPACE_VERSION_MINOR
#define WIREPACE_VERSION_MINOR 0
#endif

namespace wirepace::ui {

namespace {

constexpr const char* kNewTest = "New Test";
constexpr const char* kBack = "Back";
constexpr const char* kRunTests = "Run Tests";
constexpr const char* kFollowInstructions = "Follow the instructions and press Run Tests.";
constexpr const char* kNameNewTest = "Name new test:";

const QColor kBannerGrey(128, 128, 128);

// The layout is designed in twips; at 96 dots per inch a pixel is 15 twips.
constexpr int Px(int twips) {
    return twips / 15;
}
QRect Twips(int left, int top, int width, int height) {
    return QRect(Px(left), Px(top), Px(width), Px(height));
}
QPoint TwipsAt(int left, int top) {
    return QPoint(Px(left), Px(top));
}

QString Qs(const std::string& text) {
    return QString::fromStdString(text);
}

// CR LF (and a lone CR or LF) become the box's line breaks.
QString ForDisplay(const std::string& text) {
    QString shown;
    shown.reserve(static_cast<qsizetype>(text.size()));
    const QString all = Qs(text);
    for (qsizetype i = 0; i < all.size(); ++i) {
        const QChar c = all[i];
        if (c == u'\r') {
            shown += u'\n';
            if (i + 1 < all.size() && all[i + 1] == u'\n') ++i;
        } else {
            shown += c;
        }
    }
    return shown;
}

// Only blanks count, as in the name check of the name page.
bool BlankAfterTrim(const QString& text) {
    for (const QChar c : text)
        if (c != u' ') return false;
    return true;
}

void SetBackground(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

QFrame* Frame(QWidget* parent, const char* name, const QRect& geometry) {
    auto* frame = new QFrame(parent);
    frame->setObjectName(name);
    frame->setFrameShape(QFrame::NoFrame);
    frame->setGeometry(geometry);
    return frame;
}

}  // namespace

frmMain::frmMain()
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      sequence_(State(), *this) {
    // Every wait of the run lets the window's events through, so "Stop" and a close arrive.
    previousPump_ = SetPumpHook([] { QCoreApplication::processEvents(QEventLoop::AllEvents); });
    CreateControls();
    Form_Load();
}

frmMain::~frmMain() {
    SetPumpHook(previousPump_);
}

void frmMain::CreateControls() {
    setObjectName("frmMain");
    setFont(SansFont(8.25));

    // Created in design order: a later sibling lies over an earlier one where they overlap.
    fraTop_ = Frame(this, "fraTop", Twips(0, 0, 7335, 855));
    SetBackground(fraTop_, kBannerGrey);

    auto label = [this](int index, QWidget* parent, QPoint at, const char* caption) {
        auto* l = new QLabel(parent);
        l->setObjectName(QString("lbl1_%1").arg(index));
        l->setTextFormat(Qt::PlainText);
        l->move(at);
        lbl1_[static_cast<std::size_t>(index)] = l;
        SetCaption(l, QString::fromUtf8(caption));
        return l;
    };
    auto highlightText = [](QLabel* l) {
        QPalette palette = l->palette();
        palette.setColor(QPalette::WindowText, palette.color(QPalette::HighlightedText));
        l->setPalette(palette);
    };
    auto textBox = [](QWidget* parent, const char* name, const QRect& geometry, const char* text) {
        auto* box = new QLineEdit(parent);
        box->setObjectName(name);
        box->setGeometry(geometry);
        box->setText(QString::fromUtf8(text));
        return box;
    };
    auto comboBox = [](QWidget* parent, const char* name, const QRect& geometry) {
        auto* list = new QComboBox(parent);
        list->setObjectName(name);
        list->setEditable(false);
        list->setGeometry(geometry);
        return list;
    };
    auto button = [](QWidget* parent, const char* name, const QRect& geometry,
                     const char* caption) {
        auto* b = new QPushButton(QString::fromUtf8(caption), parent);
        b->setObjectName(name);
        b->setGeometry(geometry);
        // Enter on a focused button presses that button, as on the classic desktop.
        b->setAutoDefault(true);
        return b;
    };

    QFont bannerFont = SansFont(13.5, true);
    highlightText(label(6, fraTop_, TwipsAt(120, 120), "testid"));
    lbl1_[6]->setFont(bannerFont);
    highlightText(label(7, fraTop_, TwipsAt(420, 540), kNameNewTest));
    lbl1_[7]->setFont(SansFont(9.75));
    SetCaption(lbl1_[6], lbl1_[6]->text());
    SetCaption(lbl1_[7], lbl1_[7]->text());

    // Settings page.
    fra1_[0] = Frame(this, "fra1_0", Twips(0, 840, 7335, 3735));
    label(0, fra1_[0], TwipsAt(540, 780), "Please select type of connection to test:");
    cmbConnType_ = comboBox(fra1_[0], "cmbConnType", Twips(4200, 720, 2415, 315));
    label(1, fra1_[0], TwipsAt(540, 1200), "Please select estimated connection speed:");
    cmbConnSpeed_ = comboBox(fra1_[0], "cmbConnSpeed", Twips(4200, 1140, 2415, 315));
    label(2, fra1_[0], TwipsAt(540, 2040), "Please type in full path of a target directory:");
    txtDirPath_ =
        textBox(fra1_[0], "txtDirPath", Twips(4200, 1980, 2415, 315), "\\\\server\\share");
    label(3, fra1_[0], TwipsAt(2820, 2520), "Username:");
    txtUserName_ = textBox(fra1_[0], "txtUserName", Twips(4200, 2460, 2415, 315), "benchmark");
    label(4, fra1_[0], TwipsAt(2820, 2880), "Password:");
    txtPassword_ = textBox(fra1_[0], "txtPassword", Twips(4200, 2820, 2415, 315), "password");
    txtPassword_->setEchoMode(QLineEdit::Password);
    txtPassword_->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));

    // Name page, over the settings page.
    fra1_[2] = Frame(this, "fra1_2", Twips(420, 1260, 6435, 2835));
    label(8, fra1_[2], TwipsAt(840, 1020), "Enter a name for this test:");
    txtTestId_ = textBox(fra1_[2], "txtTestId", Twips(3000, 960, 2295, 315), "MyServer");
    txtTestId_->installEventFilter(this);
    dummy_[2] = Frame(fra1_[2], "dummy_2", Twips(3180, 1380, 2115, 375));
    cmdExit_ = button(dummy_[2], "cmdExit", Twips(0, 0, 1035, 375), "Exit");
    cmdOk_ = button(dummy_[2], "cmdOk", Twips(1080, 0, 1035, 375), "OK");
    cmdOk_->setDefault(true);

    // Results page, hidden until a run moves it over the settings page.
    fra1_[1] = Frame(this, "fra1_1", Twips(1560, 840, 7335, 3735));
    fra1_[1]->hide();
    label(5, fra1_[1], TwipsAt(120, 300), "testing");
    lbl1_[5]->setFont(SansFont(13.5));
    SetCaption(lbl1_[5], lbl1_[5]->text());
    txtTestResults_ = new QPlainTextEdit(fra1_[1]);
    txtTestResults_->setObjectName("txtTestResults");
    txtTestResults_->setGeometry(Twips(120, 960, 7095, 2655));
    txtTestResults_->setFont(SerifFont(6.75));
    txtTestResults_->setTabChangesFocus(true);
    txtTestResults_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    connect(txtTestResults_, &QPlainTextEdit::textChanged, this, &frmMain::OnResultsEdited);

    // Button bar.
    fraBottom_ = Frame(this, "fraBottom", Twips(0, 4560, 7335, 855));
    SetBackground(fraBottom_, kBannerGrey);
    dummy_[0] = Frame(fraBottom_, "dummy_0", Twips(120, 120, 1455, 615));
    cmdBack_ = button(dummy_[0], "cmdBack", Twips(0, 0, 1455, 615), kNewTest);
    cmdBack_->hide();
    dummy_[1] = Frame(fraBottom_, "dummy_1", Twips(5760, 120, 1455, 615));
    cmdNext_ = button(dummy_[1], "cmdNext", Twips(0, 0, 1455, 615), kRunTests);
    cmdNext_->hide();
    for (QFrame* holder : dummy_) SetBackground(holder, palette().color(QPalette::Button));

    QWidget* order[] = {txtTestId_,    cmdExit_,    cmdOk_,         cmbConnType_,
                        cmbConnSpeed_, txtDirPath_, txtUserName_,   txtPassword_,
                        cmdBack_,      cmdNext_,    txtTestResults_};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        QWidget::setTabOrder(order[i], order[i + 1]);

    connect(cmdOk_, &QPushButton::clicked, this, &frmMain::cmdOk_Click);
    connect(cmdExit_, &QPushButton::clicked, this, &frmMain::cmdExit_Click);
    connect(cmdBack_, &QPushButton::clicked, this, &frmMain::cmdBack_Click);
    connect(cmdNext_, &QPushButton::clicked, this, [this] { sequence_.cmdNext_Click(); });
    connect(cmbConnType_, &QComboBox::activated, this, &frmMain::cmbConnType_Click);
}

void frmMain::Form_Load() {
    setWindowTitle(
        QString("Wirepace v%1.%2").arg(WIREPACE_VERSION_MAJOR).arg(WIREPACE_VERSION_MINOR));
    const QColor buttonFace = palette().color(QPalette::Button);
    for (QFrame* page : fra1_) SetBackground(page, buttonFace);

    cmbConnType_->addItem(QString::fromUtf8(kLanType));
    cmbConnType_->addItem(QString::fromUtf8(kWanType));
    cmbConnType_->setCurrentIndex(1);
    cmbConnType_Click();

    const QColor barColour = fraBottom_->palette().color(QPalette::Window);
    SetBackground(dummy_[0], barColour);
    SetBackground(dummy_[1], barColour);

    // The client area of the fixed 7425 x 5895 twip window.
    setFixedSize(Px(7335), Px(5415));
    fra1_[2]->raise();

    show();
    // Centred as a whole, frame included, once the frame is known.
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect outer = frameGeometry();
        outer.moveCenter(screen->availableGeometry().center());
        move(outer.topLeft());
    }
    cmdBack_Click();
}

void frmMain::SetCaption(QLabel* label, const QString& caption) {
    label->setText(caption);
    label->adjustSize();
}

void frmMain::cmdOk_Click() {
    const QString name = txtTestId_->text();
    if (BlankAfterTrim(name)) return;
    SetCaption(lbl1_[6], name);
    SetCaption(lbl1_[7], QString::fromUtf8(kFollowInstructions));
    fra1_[2]->hide();
    cmdNext_->setText(QString::fromUtf8(kRunTests));
    cmdNext_->setEnabled(true);
    cmdNext_->show();
    cmdBack_->setText(QString::fromUtf8(kNewTest));
    cmdBack_->show();
}

bool frmMain::txtTestId_KeyDown(int keyCode, Qt::KeyboardModifiers) {
    if (keyCode == 13) cmdOk_Click();
    return false;
}

void frmMain::cmdBack_Click() {
    const QString caption = cmdBack_->text();
    if (caption == QString::fromUtf8(kBack)) {
        SetCaption(lbl1_[7], QString::fromUtf8(kFollowInstructions));
        fra1_[1]->hide();
        fra1_[0]->show();
        cmdBack_->setText(QString::fromUtf8(kNewTest));
        cmdNext_->setText(QString::fromUtf8(kRunTests));
        cmdNext_->setEnabled(true);
    } else if (caption == QString::fromUtf8(kNewTest)) {
        fra1_[0]->raise();
        fra1_[0]->show();
        fra1_[2]->raise();
        fra1_[2]->show();
        for (QLineEdit* box : {txtTestId_, txtDirPath_, txtUserName_, txtPassword_}) box->clear();
        cmdNext_->hide();
        cmdBack_->hide();
        SetCaption(lbl1_[6], QString());
        SetCaption(lbl1_[7], QString::fromUtf8(kNameNewTest));
        txtTestId_->setFocus(Qt::OtherFocusReason);
    }
}

void frmMain::cmdExit_Click() {
    close();
}

void frmMain::cmbConnType_Click() {
    cmbConnSpeed_->clear();
    const std::vector<std::string> speeds =
        ApplyConnectionType(State(), cmbConnType_->currentText().toStdString());
    for (const std::string& speed : speeds) cmbConnSpeed_->addItem(Qs(speed));
    cmbConnSpeed_->setCurrentIndex(0);
}

void frmMain::Form_QueryUnload() {
    CloseTestGraph();
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window != this && window->isVisible()) window->close();
}

void frmMain::closeEvent(QCloseEvent* event) {
    // During a run the sequence stops before its next step, removes drones, work files and the
    // mapping, and then closes the window itself.
    if (!sequence_.RequestClose()) {
        event->ignore();
        return;
    }
    Form_QueryUnload();
    event->accept();
}

void frmMain::keyPressEvent(QKeyEvent* event) {
    // cmdOk is the window's default button: Enter presses it wherever it is not taken.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && cmdOk_->isVisible() &&
        cmdOk_->isEnabled()) {
        cmdOk_Click();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool frmMain::eventFilter(QObject* watched, QEvent* event) {
    if (watched == txtTestId_ && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        return txtTestId_KeyDown(enter ? 13 : key->key(), key->modifiers());
    }
    return QWidget::eventFilter(watched, event);
}

void frmMain::OnResultsEdited() {
    if (settingResults_) return;
    // A user's own edit of the box: keep the stored text in the core's CR LF form.
    results_.clear();
    for (const QChar c : txtTestResults_->toPlainText()) {
        if (c == u'\n')
            results_ += "\r\n";
        else
            results_ += QString(c).toStdString();
    }
}

// ---- MainWindowIO ------------------------------------------------------------------------------

std::string frmMain::TestId() const {
    return txtTestId_->text().toStdString();
}

std::string frmMain::DirPath() const {
    return txtDirPath_->text().toStdString();
}

void frmMain::SetDirPath(const std::string& text) {
    txtDirPath_->setText(Qs(text));
}

std::string frmMain::UserName() const {
    return txtUserName_->text().toStdString();
}

std::string frmMain::Password() const {
    return txtPassword_->text().toStdString();
}

int frmMain::SelectedSpeedIndex() const {
    return cmbConnSpeed_->currentIndex();
}

std::string frmMain::NextCaption() const {
    return cmdNext_->text().toStdString();
}

void frmMain::SetNextCaption(const std::string& caption) {
    cmdNext_->setText(Qs(caption));
}

void frmMain::SetNextEnabled(bool enabled) {
    cmdNext_->setEnabled(enabled);
}

std::string frmMain::BackCaption() const {
    return cmdBack_->text().toStdString();
}

void frmMain::SetBackCaption(const std::string& caption) {
    cmdBack_->setText(Qs(caption));
}

void frmMain::SetBackVisible(bool visible) {
    cmdBack_->setVisible(visible);
}

void frmMain::SetStatusLine(const std::string& text) {
    SetCaption(lbl1_[5], Qs(text));
}

void frmMain::SetInstructionLine(const std::string& text) {
    SetCaption(lbl1_[7], Qs(text));
}

std::string frmMain::ResultsText() const {
    return results_;
}

void frmMain::SetResultsText(const std::string& text) {
    results_ = text;
    settingResults_ = true;
    txtTestResults_->setPlainText(ForDisplay(text));
    settingResults_ = false;
}

void frmMain::FocusResultsAtEnd() {
    txtTestResults_->setFocus(Qt::OtherFocusReason);
    txtTestResults_->moveCursor(QTextCursor::End);
    txtTestResults_->ensureCursorVisible();
}

void frmMain::SetBusy(bool busy) {
    if (busy)
        setCursor(Qt::WaitCursor);
    else
        unsetCursor();
}

void frmMain::ShowResultsPage() {
    fra1_[1]->move(fra1_[0]->pos());
    fra1_[0]->hide();
    fra1_[1]->show();
}

void frmMain::OpenReports() {
    LoadTestGraph(State(), TestId());
}

void frmMain::CloseWindow() {
    close();
}

void frmMain::ShowMessage(const std::string& text) {
    QMessageBox::information(this, QStringLiteral("Wirepace"), Qs(text));
}

}  // namespace wirepace::ui
