// SPDX-License-Identifier: MIT
#include "ui/win32/frm_main_win32.h"

#include <commctrl.h>

#include <cstdio>
#include <memory>
#include <stdexcept>

#include "core/run_engine.h"
#include "platform/platform.h"
#include "ui/win32/frm_test_graph_win32.h"
#include "wirepace_version.h"

namespace wirepace::ui::win32 {

using forms::Kind;

namespace {

FrmMain* g_main = nullptr;

// The border the design assumes around the client area: 45 twips left, right and bottom,
// 435 twips of title bar and top border.
constexpr int kDesignFrameWidth = 90;
constexpr int kDesignFrameHeight = 480;

int ShiftState() {
    return ((::GetKeyState(VK_SHIFT) & 0x8000) ? 1 : 0) |
           ((::GetKeyState(VK_CONTROL) & 0x8000) ? 2 : 0) |
           ((::GetKeyState(VK_MENU) & 0x8000) ? 4 : 0);
}

void RegisterMainClass(HINSTANCE instance) {
    static bool done = false;
    if (done) return;
    done = true;
    RegisterTopLevelClass(instance, kMainClass);
}

}  // namespace

FrmMain::FrmMain(RunEnvironment environment)
    : WizardWindow(std::move(environment)), host_(forms::MainForm(), ScreenDpi()) {
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    RegisterMainClass(instance);
    hwnd_ = ::CreateWindowExW(
        WS_EX_CONTROLPARENT, kMainClass, L"",
        WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN, CW_USEDEFAULT,
        CW_USEDEFAULT, 100, 100, nullptr, nullptr, instance, nullptr);
    if (!hwnd_) throw std::runtime_error("cannot create the main window");
    ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    ::SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&FrmMain::WindowProc));
    g_main = this;
    eventTarget_.store(hwnd_);
    host_.Create(hwnd_);
    forms::Form_Load(*this, WIREPACE_VERSION_MAJOR, WIREPACE_VERSION_MINOR);
}

FrmMain::~FrmMain() {
    EndRun();
    if (hwnd_) ::DestroyWindow(hwnd_);
    if (g_main == this) g_main = nullptr;
}

LRESULT CALLBACK FrmMain::WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = reinterpret_cast<FrmMain*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return ::DefWindowProcW(hwnd, msg, wp, lp);
    return self->Handle(msg, wp, lp);
}

void FrmMain::PostToWindow(std::function<void()> task) {
    // The message owns the task until the window's thread runs it.
    auto owned = std::make_unique<std::function<void()>>(std::move(task));
    const HWND target = eventTarget_.load();
    if (target &&
        ::PostMessageW(target, kRunEventMessage, 0, reinterpret_cast<LPARAM>(owned.get())))
        owned.release();
}

LRESULT FrmMain::Handle(UINT msg, WPARAM wp, LPARAM lp) {
    const HWND hwnd = hwnd_;
    switch (msg) {
        case kRunEventMessage: {
            const std::unique_ptr<std::function<void()>> task(
                reinterpret_cast<std::function<void()>*>(lp));
            (*task)();
            return 0;
        }
        case WM_COMMAND:
            OnCommand(LOWORD(wp), HIWORD(wp));
            return 0;
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
            if (LRESULT brush =
                    host_.OnCtlColor(reinterpret_cast<HDC>(wp), reinterpret_cast<HWND>(lp)))
                return brush;
            break;
        case WM_SETCURSOR:
            // Busy during a run, except over the results box, which stays readable.
            if (busy_ && LOWORD(lp) == HTCLIENT &&
                reinterpret_cast<HWND>(wp) != host_.Hwnd("txtTestResults")) {
                ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
                return TRUE;
            }
            break;
        case WM_CLOSE:
            // During a run the run stops before its next step, cleans up and then the
            // window closes itself.
            if (!RequestClose()) return 0;
            forms::Form_QueryUnload(*this);
            ::DestroyWindow(hwnd);
            return 0;
        case WM_DESTROY:
            hwnd_ = nullptr;
            eventTarget_.store(nullptr);
            ::PostQuitMessage(0);
            return 0;
        default:
            break;
    }
    return ::DefWindowProcW(hwnd, msg, wp, lp);
}

void FrmMain::OnCommand(int id, int code) {
    namespace ids = forms::ids;
    if (code == BN_CLICKED) {
        switch (id) {
            case ids::cmdOk:
                forms::cmdOk_Click(*this);
                break;
            case ids::cmdExit:
                forms::cmdExit_Click(*this);
                break;
            case ids::cmdBack:
                forms::cmdBack_Click(*this);
                break;
            case ids::cmdNext:
                cmdNext_Click();
                break;
            default:
                break;
        }
    } else if (code == CBN_SELCHANGE && id == ids::cmbConnType) {
        forms::cmbConnType_Click(*this);
    }
}

std::string FrmMain::FocusedControl() const {
    const HWND focus = ::GetFocus();
    for (const forms::ControlDesign& c : host_.Form().controls) {
        const Control* made = host_.Find(c.name);
        if (made && made->hwnd && (made->hwnd == focus || ::IsChild(made->hwnd, focus)) &&
            c.tabIndex >= 0)
            return c.name;
    }
    return "";
}

bool FrmMain::PreTranslate(MSG& msg) {
    if (!hwnd_ || (msg.hwnd != hwnd_ && !::IsChild(hwnd_, msg.hwnd))) return false;
    if (msg.message == WM_CHAR && (msg.wParam == L'\t' || msg.wParam == L'\r')) return true;
    if (msg.message != WM_KEYDOWN) return false;
    const int key = static_cast<int>(msg.wParam);
    const HWND nameBox = host_.Hwnd("txtTestId");
    if (msg.hwnd == nameBox) {
        forms::txtTestId_KeyDown(*this, key == VK_RETURN ? forms::kKeyReturn : key, ShiftState());
        // The name's Enter is used up: it must not go on to press the settings page's default.
        if (!hwnd_ || key == VK_RETURN) return true;
    }
    if (key == VK_TAB) {
        const std::string next =
            forms::NextInTabChain(*this, FocusedControl(), (ShiftState() & 1) == 0);
        if (!next.empty()) SetFocus(next);
        return true;
    }
    if (key == VK_RETURN) {
        const std::string focused = FocusedControl();
        const forms::ControlDesign* design = host_.Form().Find(focused);
        if (design && design->kind == Kind::Button) {
            ::SendMessageW(host_.Hwnd(focused), BM_CLICK, 0, 0);
        } else {
            PressDefaultButton();
        }
        return true;
    }
    return false;
}

// ---- WizardView ------------------------------------------------------------------------------

std::string FrmMain::Text(std::string_view control) const {
    return host_.Text(control);
}

void FrmMain::SetText(std::string_view control, const std::string& text) {
    if (!hwnd_) return;
    host_.SetText(control, text);
}

void FrmMain::SetVisible(std::string_view control, bool visible) {
    if (!hwnd_) return;
    const HWND h = host_.Hwnd(control);
    // Hiding the control that has the focus would strand the keyboard.
    if (!visible && (h == ::GetFocus() || ::IsChild(h, ::GetFocus()))) ::SetFocus(hwnd_);
    ::ShowWindow(h, visible ? SW_SHOWNA : SW_HIDE);
}

bool FrmMain::IsVisible(std::string_view control) const {
    return (::GetWindowLongPtrW(host_.Hwnd(control), GWL_STYLE) & WS_VISIBLE) != 0;
}

void FrmMain::SetEnabled(std::string_view control, bool enabled) {
    if (!hwnd_) return;
    ::EnableWindow(host_.Hwnd(control), enabled);
}

bool FrmMain::IsEnabled(std::string_view control) const {
    return ::IsWindowEnabled(host_.Hwnd(control)) != FALSE;
}

void FrmMain::BringToFront(std::string_view control) {
    if (!hwnd_) return;
    ::SetWindowPos(host_.Hwnd(control), HWND_TOP, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void FrmMain::SetFocus(std::string_view control) {
    if (!hwnd_) return;
    ::SetFocus(host_.Hwnd(control));
    // The wizard moves the focus for the keyboard's sake: show where it went, as after Tab,
    // also when the system hides focus rectangles until a key is pressed.
    ::SendMessageW(hwnd_, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
}

void FrmMain::SetDefaultButton(std::string_view button) {
    if (!hwnd_) return;
    for (const char* name : {"cmdOk", "cmdNext"})
        ::SendMessageW(host_.Hwnd(name), BM_SETSTYLE,
                       button == name ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
}

void FrmMain::SetBackColour(std::string_view control, const forms::Colour& colour) {
    if (!hwnd_) return;
    host_.SetBack(control, colour);
}

void FrmMain::MoveTo(std::string_view control, std::string_view placeOf) {
    if (!hwnd_) return;
    const forms::ControlDesign& place = host_.Form().Control(placeOf);
    ::SetWindowPos(host_.Hwnd(control), nullptr, host_.Px(place.left), host_.Px(place.top), 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void FrmMain::SetProgress(std::string_view control, int permille) {
    if (!hwnd_) return;
    ::SendMessageW(host_.Hwnd(control), PBM_SETPOS, static_cast<WPARAM>(permille), 0);
    taskbar_.Show(hwnd_, permille, IsVisible(control));
}

void FrmMain::ClearList(std::string_view list) {
    if (!hwnd_) return;
    ::SendMessageW(host_.Hwnd(list), CB_RESETCONTENT, 0, 0);
}

void FrmMain::AddListItem(std::string_view list, const std::string& item) {
    if (!hwnd_) return;
    ::SendMessageW(host_.Hwnd(list), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(item).c_str()));
}

void FrmMain::SetListIndex(std::string_view list, int index) {
    if (!hwnd_) return;
    ::SendMessageW(host_.Hwnd(list), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

int FrmMain::ListIndex(std::string_view list) const {
    const LRESULT index = ::SendMessageW(host_.Hwnd(list), CB_GETCURSEL, 0, 0);
    return index == CB_ERR ? -1 : static_cast<int>(index);
}

void FrmMain::SetTitle(const std::string& title) {
    if (!hwnd_) return;
    ::SetWindowTextW(hwnd_, Wide(title).c_str());
}

void FrmMain::SetWindowSize(int width, int height) {
    if (!hwnd_) return;
    // The client area the design's outer size leaves, framed by this system's real border.
    RECT r{0, 0, host_.Px(width - kDesignFrameWidth), host_.Px(height - kDesignFrameHeight)};
    const DWORD style = static_cast<DWORD>(::GetWindowLongPtrW(hwnd_, GWL_STYLE));
    const DWORD exStyle = static_cast<DWORD>(::GetWindowLongPtrW(hwnd_, GWL_EXSTYLE));
    ::AdjustWindowRectEx(&r, style, FALSE, exStyle);
    ::SetWindowPos(hwnd_, nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void FrmMain::ShowWindow() {
    if (!hwnd_) return;
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    RECT outer{};
    ::GetWindowRect(hwnd_, &outer);
    const int w = outer.right - outer.left;
    const int h = outer.bottom - outer.top;
    ::SetWindowPos(hwnd_, nullptr, work.left + (work.right - work.left - w) / 2,
                   work.top + (work.bottom - work.top - h) / 2, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ::ShowWindow(hwnd_, SW_SHOW);
    ::SetForegroundWindow(hwnd_);
    ::UpdateWindow(hwnd_);
}

void FrmMain::CloseMainWindow() {
    if (!hwnd_) return;
    ::SendMessageW(hwnd_, WM_CLOSE, 0, 0);
}

void FrmMain::CloseOtherWindows() {
    CloseTestGraph();
}

// ---- WizardWindow ----------------------------------------------------------------------------

void FrmMain::FocusResultsAtEnd() {
    if (!hwnd_) return;
    const HWND box = host_.Hwnd("txtTestResults");
    ::SetFocus(box);
    const int end = ::GetWindowTextLengthW(box);
    ::SendMessageW(box, EM_SETSEL, static_cast<WPARAM>(end), static_cast<LPARAM>(end));
    ::SendMessageW(box, EM_SCROLLCARET, 0, 0);
}

void FrmMain::SetBusy(bool busy) {
    busy_ = busy;
    if (!hwnd_) return;
    POINT at{};
    ::GetCursorPos(&at);
    const HWND under = ::WindowFromPoint(at);
    if (under == hwnd_ || ::IsChild(hwnd_, under)) {
        const bool wait = busy && under != host_.Hwnd("txtTestResults");
        ::SetCursor(::LoadCursorW(nullptr, wait ? IDC_WAIT : IDC_ARROW));
    }
}

void FrmMain::OpenReports(const RunResult& result, const std::string& testName) {
    LoadTestGraph(result, testName, Environment().logPath);
}

void FrmMain::ShowMessage(const std::string& text) {
    // Unattended runs (the tests) cannot click a message box away.
    if (platform::GetEnv("WIREPACE_NO_MESSAGE_BOX")) {
        std::fprintf(stderr, "%s\n", text.c_str());
        return;
    }
    ::MessageBoxW(hwnd_, Wide(text).c_str(), Wide(forms::kProgramTitle).c_str(),
                  MB_OK | MB_ICONINFORMATION);
}

// ---- the message loop ------------------------------------------------------------------------

namespace {

void Dispatch(MSG& msg) {
    if (g_main && g_main->PreTranslate(msg)) return;
    if (FrmTestGraph* graph = TestGraphWindow())
        if (::IsDialogMessageW(graph->Hwnd(), &msg)) return;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
}

}  // namespace

void PumpMessages() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // For the outer loop, once the run has unwound.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        Dispatch(msg);
    }
}

int RunMessageLoop() {
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) Dispatch(msg);
    return static_cast<int>(msg.wParam);
}

}  // namespace wirepace::ui::win32
