// SPDX-License-Identifier: MIT
// What a run is asked to do, as typed values, and the one check they pass before it starts.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

namespace wirepace {

// How the test files are filled. Zero is what the window uses; random data defeats links and
// file systems that compress or de-duplicate.
enum class FillMode { Zero, Random };

struct RunSettings {
    std::string testName;
    std::string target;  // the target directory as typed: a folder or a share path
    std::string account;
    std::string password;
    std::string connectionType;  // the displayed type text (kLanType or kWanType)
    std::string speedEntry;      // an entry of that type's speed list
    std::int32_t smallKB = 0;    // the small and the large test file, in KB of 1024 bytes
    std::int32_t largeKB = 0;
    FillMode fill = FillMode::Zero;
    int stallTimeoutSeconds = 120;  // a drone's copy without progress for this long fails
};

// Raised by the engine for settings it cannot run with; the message says what to change.
class SettingsError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Settings for a connection type and a speed entry, with the sizes of that entry; nullopt
// when the type has no such entry.
std::optional<RunSettings> SettingsFor(const std::string& connectionType,
                                       const std::string& speedEntry);

// A message saying what must change before a run may start with `settings`, or nullopt.
std::optional<std::string> CheckSettings(const RunSettings& settings);

// A message naming a character of the test name or the target that the results log at
// `logPath` cannot store exactly (an older log in the Windows ANSI code page), or nullopt:
// nothing typed is altered in the log.
std::optional<std::string> CheckLogCanStore(const RunSettings& settings,
                                            const std::string& logPath);

}  // namespace wirepace
