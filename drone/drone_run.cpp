// SPDX-License-Identifier: MIT
#include "drone/drone_run.h"

#include <cstdint>
#include <exception>
#include <functional>

#include "common/drone_protocol.h"
#include "common/error.h"
#include "common/file_exists.h"
#include "common/number_format.h"
#include "common/pause.h"
#include "platform/platform.h"

namespace wirepace::drone {

namespace {

enum class Release { Released, Abandoned };

Release WaitForRelease(const std::string& releaseFile) {
    const double start = TickMs();
    for (;;) {
        PumpEvents();
        if (FileExists(releaseFile)) return Release::Released;
        // Nobody is left to release this drone, or nobody did in time: waiting on would leave a
        // process behind for good.
        if (!platform::ControllerAlive() || TickMs() - start > kReleaseWaitLimitMs)
            return Release::Abandoned;
        // Up to six pollers share the processor with the copies being timed: give it away.
        YieldBriefly();
    }
}

// The cause goes where the controller looks for it, and to the user as before; a failure to
// write it must not hide the first one.
int Report(const std::string& appDrive, const std::optional<std::string>& file,
           const std::string& description, int number) {
    if (file) {
        try {
            platform::WriteTextFile(appDrive + ErrorFileName(*file),
                                    ErrorLine(number, description));
        } catch (const std::exception&) {
        }
    }
    platform::ReportError(ErrorText(number, description));
    return 1;
}

// "Disk full writing /t/3Test10240.jnk": which side of the copy failed, and where.
std::string CopyFailure(const RuntimeError& e, const CopyPaths& paths) {
    if (e.Path() == paths.target) return e.Description() + " writing " + paths.target;
    if (e.Path() == paths.source) return e.Description() + " reading " + paths.source;
    return e.Description() + " copying " + paths.source + " to " + paths.target;
}

// What a drone does between the pieces of its copy, at most every kDroneProgressEveryMs: it
// writes how far it is for the controller, and gives up the copy when the stop file appears.
class CopyWatch {
  public:
    CopyWatch(const std::string& appDrive, const std::string& file)
        : progressFile_(appDrive + ProgressFileName(file)),
          stopFile_(appDrive + kStopFile),
          // Tests stand in for a slow link by pausing after every piece.
          link_(TextToNumber(platform::GetEnv(kSlowLinkVariable).value_or("0")).value_or(0)) {}

    bool operator()(std::int64_t copied, std::int64_t total) {
        link_.Moved(copied);
        const double now = TickMs();
        if (copied < total && now - last_ < kDroneProgressEveryMs) return true;
        last_ = now;
        // Progress is a courtesy to the controller: a failure to write it must not fail the
        // copy being timed.
        try {
            platform::WriteTextFile(progressFile_, ProgressLine(copied));
        } catch (const std::exception&) {
        }
        return !FileExists(stopFile_);
    }

  private:
    std::string progressFile_;
    std::string stopFile_;
    double last_ = TickMs();
    SlowLinkPause link_;
};

}  // namespace

int RunDrone(const std::string& appDrive, const std::string& argText) {
    const auto request = ParseDroneArguments(argText);
    if (!request) return 0;
    platform::TieToController();

    try {
        if (WaitForRelease(appDrive + kReleaseFile) == Release::Abandoned) return 0;
        if (FileExists(appDrive + kStopFile)) return 0;

        // A missing file field counts only now, so a drone that is stopped ends quietly.
        if (!request->file) throw RuntimeError(kErrSubscriptOutOfRange);
        const std::string& file = *request->file;
        const CopyPaths paths = CopyPathsFor(appDrive, request->direction, request->dir, file);

        CopyWatch watch(appDrive, file);
        platform::CopyPace pace;
        try {
            if (const auto piece =
                    ParseReleaseLine(platform::ReadTextFile(appDrive + kReleaseFile)))
                pace.piece = static_cast<std::size_t>(*piece);
        } catch (const RuntimeError&) {
            // Gone already (a stop): the copy sizes its own pieces, and finds the stop file.
        }
        const double first = TickMs();
        try {
            platform::CopyUncached(paths.source, paths.target, std::ref(watch), &pace);
        } catch (const RunInterrupted&) {
            return 0;  // told to stop: the partial copy is gone, and no time is reported
        } catch (const RuntimeError& e) {
            return Report(appDrive, file, CopyFailure(e, paths), e.Number());
        }
        const double second = TickMs();

        platform::WriteTextFile(appDrive + ResultFileName(file), ResultFileLine(second - first));
        return 0;
    } catch (const RuntimeError& e) {
        // Which file, where the description does not say it already.
        const bool named = e.Path().empty() || e.Description().find(e.Path()) != std::string::npos;
        return Report(appDrive, request->file,
                      named ? e.Description() : e.Description() + ": " + e.Path(), e.Number());
    } catch (const std::exception& e) {
        return Report(appDrive, request->file, e.what(), kErrInternal);
    }
}

}  // namespace wirepace::drone
