// SPDX-License-Identifier: MIT
#include "ui/forms/remembered_settings.h"

#include <algorithm>
#include <exception>
#include <map>
#include <utility>
#include <vector>

#include "core/connection_settings.h"
#include "core/run_input.h"
#include "platform/platform.h"
#include "ui/forms/wizard.h"

namespace wirepace::ui::forms {

namespace {

// The names the values are stored under; the password has none.
constexpr const char* kConnectionType = "ConnectionType";
constexpr const char* kSpeedEntry = "SpeedEntry";
constexpr const char* kTarget = "Target";
constexpr const char* kAccount = "Account";

constexpr std::size_t kMaxText = 4096;

}  // namespace

SettingsStore SettingsStore::ForThisUser() {
    SettingsStore store;
    store.location_ = [] { return platform::UserSettingsLocation(); };
    return store;
}

SettingsStore SettingsStore::At(std::string location) {
    SettingsStore store;
    store.location_ = [location = std::move(location)] { return location; };
    return store;
}

std::optional<RememberedSettings> SettingsStore::Load() const {
    if (!location_) return std::nullopt;
    std::map<std::string, std::string> values;
    try {
        values = platform::ReadUserSettings(location_());
    } catch (const std::exception&) {
        // A configuration folder that cannot be used: nothing remembered, as on a first start.
        return std::nullopt;
    }
    auto value = [&](const char* name) -> const std::string* {
        const auto found = values.find(name);
        return found == values.end() || found->second.size() > kMaxText ? nullptr : &found->second;
    };
    const std::string* type = value(kConnectionType);
    const std::string* speed = value(kSpeedEntry);
    const std::string* target = value(kTarget);
    const std::string* account = value(kAccount);
    if (!type || !speed || !target || !account) return std::nullopt;
    if (*type != kLanType && *type != kWanType) return std::nullopt;
    const std::vector<std::string> speeds = SpeedEntriesFor(*type);
    if (std::find(speeds.begin(), speeds.end(), *speed) == speeds.end()) return std::nullopt;
    if (CheckRunInput("", *target, *account)) return std::nullopt;
    return RememberedSettings{*type, *speed, *target, *account};
}

std::optional<std::string> SettingsStore::Save(const RunSettings& settings) const {
    if (!location_) return std::nullopt;
    try {
        platform::WriteUserSettings(location_(), {{kConnectionType, settings.connectionType},
                                                  {kSpeedEntry, settings.speedEntry},
                                                  {kTarget, settings.target},
                                                  {kAccount, settings.account}});
    } catch (const std::exception& e) {
        return std::string(e.what());
    }
    return std::nullopt;
}

void ApplyRememberedSettings(WizardView& view, const RememberedSettings& remembered) {
    // The order Form_Load fills the type list in.
    view.SetListIndex("cmbConnType", remembered.connectionType == kLanType ? 0 : 1);
    cmbConnType_Click(view);
    const std::vector<std::string> speeds = SpeedEntriesFor(remembered.connectionType);
    const auto at = std::find(speeds.begin(), speeds.end(), remembered.speedEntry);
    if (at != speeds.end())
        view.SetListIndex("cmbConnSpeed", static_cast<int>(at - speeds.begin()));
    view.SetText("txtDirPath", remembered.target);
    view.SetText("txtUserName", remembered.account);
}

}  // namespace wirepace::ui::forms
