// SPDX-License-Identifier: MIT
// wirepace.exe: the windowed controller on Windows. Refuses a second instance, turns on the
// themed controls before the first window, prepares the work folder and shows frmMain;
// from then on the window's messages drive everything.
#include <cstdlib>

#include "common/error.h"
#include "core/run_engine.h"
#include "core/target_calls.h"
#include "platform/platform.h"
#include "ui/forms/form_design.h"
#include "ui/win32/frm_main_win32.h"
#include "ui/win32/themed_controls.h"

namespace {

using wirepace::ui::win32::Wide;

void Inform(const std::string& text, UINT icon) {
    ::MessageBoxW(nullptr, Wide(text).c_str(), Wide(wirepace::ui::forms::kProgramTitle).c_str(),
                  MB_OK | icon);
}

// Twips become pixels at the screen's real dots per inch only when the program says it
// handles them; otherwise the system reports 96 and stretches the window's bitmap.
void DeclareDpiAware() {
    using SetProcessDPIAwareFn = BOOL(WINAPI*)();
    if (HMODULE user = ::GetModuleHandleW(L"user32.dll")) {
        const auto fn = reinterpret_cast<SetProcessDPIAwareFn>(
            reinterpret_cast<void (*)()>(::GetProcAddress(user, "SetProcessDPIAware")));
        if (fn) fn();
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    DeclareDpiAware();
    wirepace::platform::LoadRegionalSettings();
    try {
        const std::unique_ptr<wirepace::platform::InstanceLock> instance =
            wirepace::platform::AcquireSingleInstance();
        if (!instance) {
            // Style 64: the information icon and an OK button.
            Inform(wirepace::ui::forms::kAlreadyRunning, MB_ICONINFORMATION);
            return 0;
        }
        if (wirepace::platform::ProgramRunsFromShare()) {
            Inform(
                "Wirepace cannot run from a network share. Copy it to a local drive and start "
                "it from there.",
                MB_ICONEXCLAMATION);
            return 1;
        }
        wirepace::ui::win32::EnableThemedControls();
        wirepace::ui::win32::FrmMain window(wirepace::ControllerEnvironment());
        window.RememberSettings(wirepace::ui::forms::SettingsStore::ForThisUser());
        const int code = wirepace::ui::win32::RunMessageLoop();
        // The window closes only after its run ended; a call on a target that stopped
        // answering may still be asleep in the system, and what it may touch must not go.
        if (wirepace::OutstandingTargetCalls() > 0) std::_Exit(code);
        return code;
    } catch (const wirepace::RuntimeError& e) {
        Inform(e.Description(), MB_ICONEXCLAMATION);
    } catch (const std::exception& e) {
        Inform(e.what(), MB_ICONEXCLAMATION);
    }
    return 1;
}
