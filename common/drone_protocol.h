// SPDX-License-Identifier: MIT
// Everything the controller and the drone agree on, in one place: the argument text, the
// handshake files, the result and error files, and the names of the drones and their work
// files. A change here changes both sides.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wirepace {

inline constexpr const char* kReleaseFile = "GO.txt";
inline constexpr const char* kStopFile = "TERMDRONES.txt";
inline constexpr int kMaxDrones = 5;

// A drone that is not released within this time ends by itself: its controller is gone or
// stuck, and nobody will release it.
inline constexpr int kReleaseWaitLimitMs = 60'000;

// The environment variable through which a drone learns its controller's process id, so that it
// can tell when the controller has gone.
inline constexpr const char* kControllerPidVariable = "WIREPACE_CONTROLLER_PID";

// "-TO" sends the drone's local file to the directory; "-FROM" fetches it from there.
enum class DroneDirection { To, From };

struct DroneRequest {
    DroneDirection direction = DroneDirection::To;
    std::string dir;                  // field 0, used as a plain prefix
    std::optional<std::string> file;  // field 1; absent when the text has no "?"
};

// "-TO" or "-FROM", the directory, "?", the file, with no blanks between.
std::string DroneArgumentText(DroneDirection direction, const std::string& dir,
                              const std::string& file);

// Reads the argument text (leading blanks already removed). "-TO" is tested before "-FROM",
// both exact and case-sensitive; any other text gives nullopt, and the drone then ends at once.
// The rest is cut at "?": field 0 is the directory, field 1 the file, later fields are ignored.
std::optional<DroneRequest> ParseDroneArguments(std::string_view argText);

struct CopyPaths {
    std::string source;
    std::string target;
};

// "-TO" copies AppDrive & file to directory & file; "-FROM" the other way round.
CopyPaths CopyPathsFor(const std::string& appDrive, DroneDirection direction,
                       const std::string& dir, const std::string& file);

// "Drone" & n & ".exe", the same name on every platform.
std::string DroneFileName(int n);
// n & the large test file: drone n's copy, in the work root and in the target.
std::string WorkFileName(int n, const std::string& largeTestFile);
// "TXT" & file: the drone's result file, in its work root.
std::string ResultFileName(const std::string& file);
// "ERR" & file: why the drone ended without a result, in its work root.
std::string ErrorFileName(const std::string& file);
// "PRG" & file: the bytes the drone has copied so far, in its work root. The controller learns
// a drone's progress from it, never by looking at the target, where every look would be a
// request on the link being timed.
std::string ProgressFileName(const std::string& file);

// Tests only: milliseconds a copy pauses for every MiB it moves, after each piece, standing in
// for a slow link (in the drones and in the controller's timed copies).
inline constexpr const char* kSlowLinkVariable = "WIREPACE_TEST_MS_PER_MIB";

// How often at most a drone rewrites its progress file and looks for the stop file.
inline constexpr double kDroneProgressEveryMs = 250;

// The progress file's one line: the bytes copied, then CR LF. A line without its line end (read
// while being rewritten) is none.
std::string ProgressLine(std::int64_t bytes);
std::optional<std::int64_t> ParseProgressLine(const std::string& line);

// The release file's one line: the length in bytes each drone's copy starts its pieces with,
// as the controller's copies over the same link learnt it, then CR LF. An empty release file
// (the one that lets waiting drones find the stop file) leaves the length to the drone.
std::string ReleaseLine(std::int64_t pieceBytes);
std::optional<std::int64_t> ParseReleaseLine(const std::string& text);

// The one line of a result file: the elapsed time rounded to whole milliseconds (halves to the
// even neighbour) in the print form, then CR LF. 1234 ms gives " 1234 \r\n".
std::string ResultFileLine(double elapsedMs);
// The milliseconds of a result line (blanks around the number ignored), or nullopt.
std::optional<double> ParseResultFileLine(const std::string& line);

// The error file's one line: the error number, a blank, the description.
std::string ErrorLine(int number, const std::string& description);
struct DroneError {
    int number = 0;
    std::string description;
};
// nullopt when the line is not an error line.
std::optional<DroneError> ParseErrorLine(const std::string& line);

// True for the names this program gives files in its work root: the test files, the work files,
// the drones, the result, error and progress files, the release and stop files.
bool IsWorkRootFileName(std::string_view name);
// True for the names it gives files in the target: the test files and the work files, with one of
// `sizesKB` (the sizes of the size tables) as their size. The target is the user's folder: a
// Test2024.jnk of the user's own is not ours.
bool IsTargetFileName(std::string_view name, const std::vector<std::string>& sizesKB);

}  // namespace wirepace
