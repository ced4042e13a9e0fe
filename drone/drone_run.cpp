// SPDX-License-Identifier: MIT
#include "drone/drone_run.h"

#include <exception>

#include "common/error.h"
#include "common/file_exists.h"
#include "common/pause.h"
#include "drone/drone_args.h"
#include "platform/platform.h"

namespace wirepace::drone {

namespace {

void WaitForRelease(const std::string& releaseFile) {
    for (;;) {
        PumpEvents();
        if (FileExists(releaseFile)) return;
        // Up to six pollers share the processor with the copies being timed: give it away.
        YieldBriefly();
    }
}

int Report(const std::string& description, int number) {
    platform::ReportError(description + " [" + std::to_string(number) + "]");
    return 1;
}

}  // namespace

int RunDrone(const std::string& appDrive, const std::string& argText) {
    const auto request = ParseDroneArguments(argText);
    if (!request) return 0;

    try {
        WaitForRelease(appDrive + kReleaseFile);
        if (FileExists(appDrive + kStopFile)) return 0;

        // A missing file field counts only now, so a drone that is stopped ends quietly.
        if (!request->file) throw RuntimeError(kErrSubscriptOutOfRange);
        const std::string& file = *request->file;
        const CopyPaths paths = CopyPathsFor(appDrive, request->direction, request->dir, file);

        const double first = TickMs();
        platform::CopyFile(paths.source, paths.target);
        const double second = TickMs();

        platform::WriteTextFile(ResultFilePath(appDrive, file), ResultLine(second - first));
        return 0;
    } catch (const RuntimeError& e) {
        return Report(e.Description(), e.Number());
    } catch (const std::exception& e) {
        return Report(e.what(), kErrPathFileAccess);
    }
}

}  // namespace wirepace::drone
