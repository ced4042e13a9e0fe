// SPDX-License-Identifier: MIT
#include "core/run_settings.h"

#include "core/connection_settings.h"
#include "core/run_input.h"
#include "platform/platform.h"

namespace wirepace {

std::optional<RunSettings> SettingsFor(const std::string& connectionType,
                                       const std::string& speedEntry) {
    for (const SpeedRow& row : SpeedRowsFor(connectionType)) {
        if (speedEntry != row.speed) continue;
        RunSettings settings;
        settings.connectionType = connectionType;
        settings.speedEntry = speedEntry;
        settings.smallKB = row.smallKB;
        settings.largeKB = row.largeKB;
        return settings;
    }
    return std::nullopt;
}

std::optional<std::string> CheckSettings(const RunSettings& settings) {
    if (auto problem = CheckRunInput(settings.testName, settings.target, settings.account))
        return problem;
    if (settings.smallKB <= 0 || settings.largeKB <= 0)
        return std::string("No test file sizes: choose a speed entry.");
    if (settings.stallTimeoutSeconds <= 0)
        return std::string("The stall timeout must be at least one second.");
    return std::nullopt;
}

std::optional<std::string> CheckLogCanStore(const RunSettings& settings,
                                            const std::string& logPath) {
    for (const std::string* text : {&settings.testName, &settings.target})
        if (auto problem = platform::UnstorableCharacter(logPath, *text)) return problem;
    return std::nullopt;
}

}  // namespace wirepace
