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
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTextCursor>
#include <stdexcept>

#include "core/run_engine.h"
#include "ui/graph/frm_test_graph.h"
#include "ui/graph/graph_controls.h"
#include "wirepace_version.h"

namespace wirepace::ui {

using forms::Kind;

namespace {

// The border the design assumes around the client area: 45 twips left, right and bottom,
// 435 twips of title bar and top border.
constexpr int kDesignFrameWidth = 90;
constexpr int kDesignFrameHeight = 480;

// The layout is designed in twips; at 96 dots per inch a pixel is 15 twips (Qt scales
// logical pixels to the screen).
int Px(int twips) {
    return forms::TwipsToPixels(twips, 96);
}

QString Qs(const std::string& text) {
    return QString::fromStdString(text);
}

// CR LF (and a lone CR or LF) become the box's line breaks.
QString ForDisplay(const std::string& text) {
    QString shown;
    const QString all = Qs(text);
    shown.reserve(all.size());
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

void SetBackground(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

}  // namespace

FrmMain::FrmMain(RunEnvironment environment)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      WizardWindow(std::move(environment)) {
    CreateControls();
    forms::Form_Load(*this, WIREPACE_VERSION_MAJOR, WIREPACE_VERSION_MINOR);
}

FrmMain::~FrmMain() {
    EndRun();
}

void FrmMain::PostToWindow(std::function<void()> task) {
    QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
}

void FrmMain::CreateControls() {
    const forms::FormDesign& form = forms::MainForm();
    setObjectName(Qs(form.name));
    setFont(FontFor(form.font));

    // Created in design order: a later sibling lies over an earlier one where they overlap.
    for (const forms::ControlDesign& c : form.controls) {
        QWidget* parent = c.parent.empty() ? this : Widget(c.parent);
        const QRect geometry(Px(c.left), Px(c.top), Px(c.width), Px(c.height));
        QWidget* w = nullptr;
        switch (c.kind) {
            case Kind::Frame: {
                auto* frame = new QFrame(parent);
                frame->setFrameShape(QFrame::NoFrame);
                w = frame;
                break;
            }
            case Kind::Label: {
                auto* label = new QLabel(parent);
                label->setTextFormat(Qt::PlainText);
                w = label;
                break;
            }
            case Kind::TextBox:
            case Kind::Password: {
                auto* box = new QLineEdit(parent);
                if (c.kind == Kind::Password) {
                    box->setEchoMode(QLineEdit::Password);
                    box->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));
                }
                w = box;
                break;
            }
            case Kind::DropList: {
                auto* list = new QComboBox(parent);
                list->setEditable(false);
                w = list;
                break;
            }
            case Kind::Button: {
                auto* button = new QPushButton(parent);
                // Enter on a focused button presses that button, as on the classic desktop.
                button->setAutoDefault(true);
                button->setDefault(c.isDefault);
                w = button;
                break;
            }
            case Kind::ResultsBox: {
                // Read-only, yet it takes the focus and shows its caret at the end of the log.
                txtTestResults_ = new QPlainTextEdit(parent);
                txtTestResults_->setReadOnly(true);
                txtTestResults_->setTextInteractionFlags(Qt::TextSelectableByKeyboard |
                                                         Qt::TextSelectableByMouse);
                txtTestResults_->setTabChangesFocus(true);
                txtTestResults_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
                // Its own pointer, so the busy pointer of a run does not cover the log.
                txtTestResults_->viewport()->setCursor(Qt::IBeamCursor);
                txtTestResults_->setCursor(Qt::ArrowCursor);
                w = txtTestResults_;
                break;
            }
            case Kind::ProgressBar: {
                auto* bar = new QProgressBar(parent);
                bar->setRange(0, 1000);
                bar->setTextVisible(false);
                w = bar;
                break;
            }
            case Kind::PictureBox:
            case Kind::Shape:
                throw std::logic_error("the main window has no " + c.name);
        }
        w->setObjectName(Qs(c.name));
        w->setGeometry(geometry);
        w->setFont(FontFor(c.font));
        controls_.emplace(c.name, w);
        if (c.kind == Kind::Frame && c.back != forms::Sys(forms::SystemColour::ButtonFace))
            SetBackground(w, ColourFor(c.back, palette()));
        if (c.kind == Kind::Label) {
            if (c.fore != forms::Sys(forms::SystemColour::WindowText)) {
                QPalette p = w->palette();
                p.setColor(QPalette::WindowText, ColourFor(c.fore, palette()));
                w->setPalette(p);
            }
            SetCaption(c.name, Qs(c.caption));
        } else if (auto* box = qobject_cast<QLineEdit*>(w)) {
            box->setText(Qs(c.caption));
        } else if (auto* button = qobject_cast<QPushButton*>(w)) {
            button->setText(Qs(c.caption));
        }
        if (!c.visible) w->hide();
    }
    for (QFrame* holder :
         {static_cast<QFrame*>(Widget("dummy_0")), static_cast<QFrame*>(Widget("dummy_1")),
          static_cast<QFrame*>(Widget("dummy_2"))})
        SetBackground(holder, palette().color(QPalette::Button));

    const std::vector<const forms::ControlDesign*> chain = form.TabChain();
    for (std::size_t i = 0; i + 1 < chain.size(); ++i)
        QWidget::setTabOrder(Widget(chain[i]->name), Widget(chain[i + 1]->name));

    Widget("txtTestId")->installEventFilter(this);
    connect(static_cast<QPushButton*>(Widget("cmdOk")), &QPushButton::clicked, this,
            &FrmMain::cmdOk_Click);
    connect(static_cast<QPushButton*>(Widget("cmdExit")), &QPushButton::clicked, this,
            &FrmMain::cmdExit_Click);
    connect(static_cast<QPushButton*>(Widget("cmdBack")), &QPushButton::clicked, this,
            &FrmMain::cmdBack_Click);
    connect(static_cast<QPushButton*>(Widget("cmdNext")), &QPushButton::clicked, this,
            [this] { cmdNext_Click(); });
    connect(static_cast<QComboBox*>(Widget("cmbConnType")), &QComboBox::activated, this,
            &FrmMain::cmbConnType_Click);
}

void FrmMain::SetCaption(std::string_view control, const QString& caption) {
    auto* label = static_cast<QLabel*>(Widget(control));
    captions_[std::string(control)] = caption.toStdString();
    // Sized to the caption, but never past its room: a longer caption ends in "...", and the
    // whole of it is in the tooltip.
    const forms::FormDesign& form = forms::MainForm();
    const int room = Px(forms::TextRoom(form, form.Control(control)));
    const QString shown = label->fontMetrics().elidedText(caption, Qt::ElideRight, room);
    label->setText(shown);
    label->setToolTip(shown == caption ? QString() : caption);
    label->adjustSize();
}

QWidget* FrmMain::Widget(std::string_view control) const {
    const auto it = controls_.find(control);
    if (it == controls_.end()) throw std::out_of_range("no control " + std::string(control));
    return it->second;
}

std::string FrmMain::NameOf(const QWidget* widget) const {
    for (; widget && widget != this; widget = widget->parentWidget()) {
        const std::string name = widget->objectName().toStdString();
        const forms::ControlDesign* c = forms::MainForm().Find(name);
        if (c && c->tabIndex >= 0) return name;
    }
    return "";
}

void FrmMain::cmdOk_Click() {
    forms::cmdOk_Click(*this);
}

bool FrmMain::txtTestId_KeyDown(int keyCode, Qt::KeyboardModifiers shift) {
    const int state = (shift & Qt::ShiftModifier ? 1 : 0) | (shift & Qt::ControlModifier ? 2 : 0) |
                      (shift & Qt::AltModifier ? 4 : 0);
    return forms::txtTestId_KeyDown(*this, keyCode, state);
}

void FrmMain::cmdBack_Click() {
    forms::cmdBack_Click(*this);
}

void FrmMain::cmdExit_Click() {
    forms::cmdExit_Click(*this);
}

void FrmMain::cmbConnType_Click() {
    forms::cmbConnType_Click(*this);
}

void FrmMain::closeEvent(QCloseEvent* event) {
    // During a run the run stops before its next step, removes drones, work files and the
    // mapping, and then the window closes itself.
    if (!RequestClose()) {
        event->ignore();
        return;
    }
    forms::Form_QueryUnload(*this);
    event->accept();
}

void FrmMain::keyPressEvent(QKeyEvent* event) {
    // Enter presses the page's default button wherever the focused control leaves it; the
    // name box's Enter was the name's, and must not go on to run the tests.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        const bool nameEnter = event == nameEnter_;
        nameEnter_ = nullptr;
        if (nameEnter || PressDefaultButton()) {
            event->accept();
            return;
        }
    }
    QWidget::keyPressEvent(event);
}

bool FrmMain::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Widget("txtTestId") && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        nameEnter_ = enter ? event : nullptr;
        return txtTestId_KeyDown(enter ? forms::kKeyReturn : key->key(), key->modifiers());
    }
    return QWidget::eventFilter(watched, event);
}

bool FrmMain::focusNextPrevChild(bool next) {
    // The description's chain, without what is hidden or covered by the page in front.
    const std::string target = forms::NextInTabChain(*this, NameOf(focusWidget()), next);
    if (target.empty()) return false;
    Widget(target)->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    return true;
}

// ---- WizardView ------------------------------------------------------------------------------

std::string FrmMain::Text(std::string_view control) const {
    QWidget* w = Widget(control);
    if (qobject_cast<QLabel*>(w)) return captions_.at(std::string(control));
    if (auto* box = qobject_cast<QLineEdit*>(w)) return box->text().toStdString();
    if (auto* button = qobject_cast<QPushButton*>(w)) return button->text().toStdString();
    if (auto* list = qobject_cast<QComboBox*>(w)) return list->currentText().toStdString();
    if (w == txtTestResults_) return ResultsText();
    return {};
}

void FrmMain::SetText(std::string_view control, const std::string& text) {
    QWidget* w = Widget(control);
    if (qobject_cast<QLabel*>(w))
        SetCaption(control, Qs(text));
    else if (auto* box = qobject_cast<QLineEdit*>(w))
        box->setText(Qs(text));
    else if (auto* button = qobject_cast<QPushButton*>(w))
        button->setText(Qs(text));
    else if (w == txtTestResults_)
        txtTestResults_->setPlainText(ForDisplay(text));
}

void FrmMain::SetProgress(std::string_view control, int permille) {
    if (auto* bar = qobject_cast<QProgressBar*>(Widget(control))) bar->setValue(permille);
}

void FrmMain::SetVisible(std::string_view control, bool visible) {
    Widget(control)->setVisible(visible);
}

bool FrmMain::IsVisible(std::string_view control) const {
    return !Widget(control)->isHidden();
}

void FrmMain::SetEnabled(std::string_view control, bool enabled) {
    Widget(control)->setEnabled(enabled);
}

bool FrmMain::IsEnabled(std::string_view control) const {
    return Widget(control)->isEnabled();
}

void FrmMain::BringToFront(std::string_view control) {
    Widget(control)->raise();
}

void FrmMain::SetFocus(std::string_view control) {
    // The wizard moves the focus for the keyboard's sake: show where it went, as after Tab.
    setAttribute(Qt::WA_KeyboardFocusChange);
    Widget(control)->setFocus(Qt::OtherFocusReason);
}

void FrmMain::SetDefaultButton(std::string_view button) {
    for (const char* name : {"cmdOk", "cmdNext"})
        static_cast<QPushButton*>(Widget(name))->setDefault(button == name);
}

void FrmMain::SetBackColour(std::string_view control, const forms::Colour& colour) {
    SetBackground(Widget(control), ColourFor(colour, palette()));
}

void FrmMain::MoveTo(std::string_view control, std::string_view placeOf) {
    const forms::ControlDesign& place = forms::MainForm().Control(placeOf);
    Widget(control)->move(Px(place.left), Px(place.top));
}

void FrmMain::ClearList(std::string_view list) {
    static_cast<QComboBox*>(Widget(list))->clear();
}

void FrmMain::AddListItem(std::string_view list, const std::string& item) {
    static_cast<QComboBox*>(Widget(list))->addItem(Qs(item));
}

void FrmMain::SetListIndex(std::string_view list, int index) {
    static_cast<QComboBox*>(Widget(list))->setCurrentIndex(index);
}

int FrmMain::ListIndex(std::string_view list) const {
    return static_cast<QComboBox*>(Widget(list))->currentIndex();
}

void FrmMain::SetTitle(const std::string& title) {
    setWindowTitle(Qs(title));
}

void FrmMain::SetWindowSize(int width, int height) {
    // The client area the design's outer size leaves; the frame is the system's.
    setFixedSize(Px(width - kDesignFrameWidth), Px(height - kDesignFrameHeight));
}

void FrmMain::ShowWindow() {
    show();
    // Centred as a whole, frame included, once the frame is known.
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect outer = frameGeometry();
        outer.moveCenter(screen->availableGeometry().center());
        move(outer.topLeft());
    }
}

void FrmMain::CloseMainWindow() {
    close();
}

void FrmMain::CloseOtherWindows() {
    CloseTestGraph();
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window != this && window->isVisible()) window->close();
}

// ---- WizardWindow ----------------------------------------------------------------------------

void FrmMain::FocusResultsAtEnd() {
    txtTestResults_->setFocus(Qt::OtherFocusReason);
    txtTestResults_->moveCursor(QTextCursor::End);
    txtTestResults_->ensureCursorVisible();
}

void FrmMain::SetBusy(bool busy) {
    if (busy)
        setCursor(Qt::WaitCursor);
    else
        unsetCursor();
}

void FrmMain::OpenReports(const RunResult& result, const std::string& testName) {
    LoadTestGraph(result, testName, Environment().logPath);
}

void FrmMain::ShowMessage(const std::string& text) {
    QMessageBox::information(this, QString::fromUtf8(forms::kProgramTitle), Qs(text));
}

}  // namespace wirepace::ui
