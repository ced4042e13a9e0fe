// SPDX-License-Identifier: MIT
// What the main window remembers for the user between runs: the connection type, the speed
// entry, the target and the account, never the password. They are stored when a run starts
// with settings that pass the check, and filled in when the window opens. Remembering is a
// convenience: a store that cannot be read or written costs the filled-in values, never a run.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "core/run_settings.h"

namespace wirepace::ui::forms {

class WizardView;

struct RememberedSettings {
    std::string connectionType;  // kLanType or kWanType
    std::string speedEntry;      // an entry of that type's speed list
    std::string target;
    std::string account;
    bool operator==(const RememberedSettings&) const = default;
};

class SettingsStore {
  public:
    // Remembers nothing: what a window gets unless its program asks for the user's store.
    SettingsStore() = default;
    // The user's own store (platform::UserSettingsLocation), found when it is used.
    static SettingsStore ForThisUser();
    // A store at `location`: a file on POSIX, a key under HKEY_CURRENT_USER on Windows.
    static SettingsStore At(std::string location);

    // What was stored, or nullopt when nothing usable is: nothing stored, a damaged or foreign
    // store, or values no window could have shown (a type not in the list, a speed entry not
    // of that type, control characters, a "?" in the target, texts over 4096 bytes).
    std::optional<RememberedSettings> Load() const;
    // Stores the four values of `settings`. Returns why it could not, or nullopt.
    std::optional<std::string> Save(const RunSettings& settings) const;

  private:
    std::function<std::string()> location_;
};

// Fills the main window's controls with what was remembered: the connection type (and with it
// its speed list), the speed entry, the target and the account.
void ApplyRememberedSettings(WizardView& view, const RememberedSettings& remembered);

}  // namespace wirepace::ui::forms
