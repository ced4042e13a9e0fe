// SPDX-License-Identifier: MIT
// wirepace: the windowed controller. Refuses a second instance, prepares the benchmark state and
// shows the main window; from then on the window's events drive everything.
#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <QSocketNotifier>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

#include "common/error.h"
#include "core/run_engine.h"
#include "core/target_calls.h"
#include "platform/platform.h"
#include "ui/main/frm_main.h"
#include "wirepace_version.h"

namespace {

constexpr const char* kTitle = "Wirepace";
constexpr const char* kAlreadyRunning = "Program is already running.";

// Without a display server Qt would abort with a terse message of its own; say what to use.
bool DisplayAvailable() {
    return wirepace::platform::DisplayServerAvailable() ||
           wirepace::platform::GetEnv("QT_QPA_PLATFORM");
}

// On a platform without a screen nobody could see or dismiss a message box, and it would keep
// the process waiting forever.
bool CanShowMessageBoxes() {
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

void Inform(const char* text) {
    std::fprintf(stderr, "%s\n", text);
    if (CanShowMessageBoxes())
        QMessageBox::information(nullptr, QString::fromLatin1(kTitle), QString::fromUtf8(text));
}

// --version and --help are answered before any display is needed.
bool AnsweredWithoutWindow(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("wirepace %s\n", WIREPACE_VERSION);
            return true;
        }
        if (std::strcmp(argv[i], "--help") == 0) {
            std::printf(
                "Usage: wirepace [--version] [--help]\n"
                "Opens the Wirepace window: name the test, pick the connection, type the target "
                "folder and press Run Tests.\n"
                "Without a display, use wirepace-cli. See wirepace(1).\n");
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    // Before Qt or anything else opens a file: none may take the number of a closed standard
    // descriptor, or what is written there would land in it.
    wirepace::platform::ReopenClosedStandardDescriptors();
    if (AnsweredWithoutWindow(argc, argv)) return 0;
    if (!DisplayAvailable()) {
        std::fprintf(stderr,
                     "wirepace: no display is available (neither DISPLAY nor WAYLAND_DISPLAY is "
                     "set), so the window cannot open.\n"
                     "Run the benchmark without a window instead: wirepace-cli --help\n");
        return 2;
    }

    // SIGTERM, SIGHUP (the terminal it was started from closed) and SIGINT close the window as
    // the user would: a run under way stops and cleans up first. A second one cannot wait.
    // Watched from here on; the window hears of one that came before it existed once it does.
    const int stopSignals = wirepace::platform::WatchStopSignals();

    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(kTitle));
    QIcon icon;
    for (int size : {16, 32, 48})
        icon.addFile(QString(":/icons/wirepace-%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);

    wirepace::platform::LoadRegionalSettings();

    // The work root and the log folder are refused when they are not this user's own.
    std::unique_ptr<wirepace::platform::InstanceLock> instance;
    try {
        instance = wirepace::platform::AcquireSingleInstance();
    } catch (const wirepace::RuntimeError& e) {
        Inform(e.Description().c_str());
        return 1;
    }
    if (!instance) {
        Inform(kAlreadyRunning);
        return 0;
    }
    if (wirepace::platform::ProgramRunsFromShare()) {
        Inform(
            "Wirepace cannot run from a network share. Copy it to a local drive and start it "
            "from there.");
        return 1;
    }

    wirepace::RunEnvironment environment;
    try {
        environment = wirepace::ControllerEnvironment();
    } catch (const wirepace::RuntimeError& e) {
        Inform(e.Description().c_str());
        return 1;
    }

    wirepace::ui::FrmMain window(std::move(environment));
    window.RememberSettings(wirepace::ui::forms::SettingsStore::ForThisUser());
    window.show();
    std::unique_ptr<QSocketNotifier> stopNotifier;
    if (stopSignals >= 0) {
        stopNotifier = std::make_unique<QSocketNotifier>(stopSignals, QSocketNotifier::Read);
        QObject::connect(stopNotifier.get(), &QSocketNotifier::activated, &window, [&] {
            stopNotifier->setEnabled(false);
            window.close();
        });
    }
    const int code = QApplication::exec();
    // A call on a target that stopped answering is still asleep in the system; the run said so
    // and cleaned up what it could. The objects that thread may still touch must not go.
    if (wirepace::OutstandingTargetCalls() > 0) {
        std::fflush(nullptr);
        std::_Exit(code);
    }
    return code;
}
