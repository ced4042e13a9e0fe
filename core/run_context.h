// SPDX-License-Identifier: MIT
// What the procedures of one run share while it lasts: the folders, the file names of the
// run, the share connection and the values the diagnoses compare. One per run, never global.
#pragma once

#include <memory>
#include <string>

#include "core/run_settings.h"

namespace wirepace {

namespace platform {
class ShareMapping;
class FolderHandle;
}  // namespace platform

struct RunContext {
    std::string AppDrive;  // local work folder, ends in the platform separator
    std::string LogPath;   // full path of "TestResults.txt"
    FillMode Fill = FillMode::Zero;

    std::string SmallTestFile;
    std::string LargeTestFile;
    std::string ShareDrive;  // mapped drive letter and colon, or empty
    // The connection to the target share, from the mapping to the end of the run.
    std::shared_ptr<platform::ShareMapping> MappedShare;
    // The work root and the target as opened at the start of the run (null before): the
    // cleanup removes through them, and a path that no longer leads to them ends the run.
    std::shared_ptr<platform::FolderHandle> WorkRootFolder;
    std::shared_ptr<platform::FolderHandle> TargetFolder;

    // The target is reached over a network; only then can a diagnosis be true.
    bool TargetIsRemote = false;
    // Why this run's diagnoses stay silent, said once (empty when they can judge).
    std::string DiagnosisNote;

    double OutboundLargeMs = 0;
    double OutboundLargeSpeed = 0;
    double InboundLargeMs = 0;
    double InboundLargeSpeed = 0;
};

}  // namespace wirepace
