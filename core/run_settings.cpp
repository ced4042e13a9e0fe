// SPDX-License-Identifier: MIT
#include "core/run_settings.h"

#include "core/connection_settings.h"
#include "core/run_input.h"

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

}  // namespace wirepace
