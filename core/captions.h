// SPDX-License-Identifier: MIT
// The captions and status texts of the run, used exactly as written: the wizard's state is the
// caption of its buttons, compared case-sensitively, so every reader and writer takes them from
// here.
#pragma once

namespace wirepace::captions {

// cmdNext
inline constexpr const char* kRunTests = "Run Tests";
inline constexpr const char* kStop = "Stop";
inline constexpr const char* kPleaseWaitButton = "Please Wait";
inline constexpr const char* kViewReports = "View Reports";
inline constexpr const char* kExit = "Exit";
// cmdBack
inline constexpr const char* kBack = "Back";
inline constexpr const char* kNewTest = "New Test";

// How a run ends, in the status line.
inline constexpr const char* kFinished = "Finished";
inline constexpr const char* kInterrupted = "Interrupted by user";
inline constexpr const char* kError = "ERROR";

// The instruction line while the user's stop is carried out (lower-case w, with dots; the
// button's "Please Wait" has neither).
inline constexpr const char* kPleaseWaitStopping = "Please wait...";

}  // namespace wirepace::captions
