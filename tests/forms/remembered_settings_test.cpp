// SPDX-License-Identifier: MIT
// What the window remembers between runs: the four values stored and read back, the password
// never written, and a store that is damaged, foreign or planted ignored without a fault.
#include "ui/forms/remembered_settings.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "core/connection_settings.h"
#include "support/temp_dir.h"

using namespace wirepace::ui::forms;
using wirepace::RunSettings;
using wirepace::testing::ReadFile;
using wirepace::testing::TempDir;
using wirepace::testing::WriteFile;

namespace {

constexpr const char* kPassword = "pw-never-stored-7Q";

RunSettings Settings(const std::string& type, const std::string& speed, const std::string& target,
                     const std::string& account) {
    RunSettings s = *wirepace::SettingsFor(type, speed);
    s.testName = "Branch";
    s.target = target;
    s.account = account;
    s.password = kPassword;
    return s;
}

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

TEST(RememberedSettings, TheFourValuesComeBackAndThePasswordIsNeverWritten) {
    TempDir dir;
    const std::string file = dir.Slash() + "settings.json";
    const SettingsStore store = SettingsStore::At(file);
    EXPECT_FALSE(store.Load());  // nothing stored yet: as on a first start

    EXPECT_FALSE(
        store.Save(Settings(wirepace::kLanType, "10gb", "//srv/b\xC3\xA4nch/sub dir", "CORP\\jo")));
    EXPECT_EQ(store.Load(), (RememberedSettings{wirepace::kLanType, "10gb",
                                                "//srv/b\xC3\xA4nch/sub dir", "CORP\\jo"}));
    EXPECT_EQ(ModeOf(file), 0600u);
    EXPECT_EQ(ReadFile(file).find(kPassword), std::string::npos) << ReadFile(file);
    EXPECT_EQ(ReadFile(file).find("Branch"), std::string::npos) << "the test name is not kept";

    // A later run replaces the values whole, and no temporary file stays beside them.
    EXPECT_FALSE(store.Save(Settings(wirepace::kWanType, "T1", "/mnt/b", "")));
    EXPECT_EQ(store.Load(), (RememberedSettings{wirepace::kWanType, "T1", "/mnt/b", ""}));
    EXPECT_EQ(wirepace::testing::Entries(dir.Path()), std::vector<std::string>{"settings.json"});

    // A store that remembers nothing, and one whose folder is gone: no fault either way.
    EXPECT_FALSE(SettingsStore().Save(Settings(wirepace::kWanType, "T1", "/mnt/b", "")));
    EXPECT_FALSE(SettingsStore().Load());
    const SettingsStore gone = SettingsStore::At(dir.Slash() + "gone/settings.json");
    EXPECT_TRUE(gone.Save(Settings(wirepace::kWanType, "T1", "/mnt/b", "")));
    EXPECT_FALSE(gone.Load());
}

TEST(RememberedSettings, TheUsersStoreLiesInTheConfigurationFolder) {
    TempDir home;
    const std::string config = home.Slash() + "config";
    const char* old = std::getenv("XDG_CONFIG_HOME");
    const std::optional<std::string> saved = old ? std::optional<std::string>(old) : std::nullopt;
    ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    const SettingsStore store = SettingsStore::ForThisUser();
    EXPECT_FALSE(store.Save(Settings(wirepace::kLanType, "1gb", "/mnt/x", "jo")));
    const std::string file = config + "/wirepace/settings.json";
    EXPECT_EQ(ModeOf(config + "/wirepace"), 0700u);
    EXPECT_EQ(ModeOf(file), 0600u);
    EXPECT_EQ(store.Load()->speedEntry, "1gb");

    // A configuration folder that others may write is refused as the work root's is: nothing
    // is read from it or written to it, and nothing fails.
    ::chmod(config.c_str(), 0777);
    EXPECT_FALSE(store.Load());
    EXPECT_TRUE(store.Save(Settings(wirepace::kLanType, "1gb", "/mnt/y", "jo")));
    ::chmod(config.c_str(), 0700);
    EXPECT_EQ(store.Load()->target, "/mnt/x");
    saved ? ::setenv("XDG_CONFIG_HOME", saved->c_str(), 1) : ::unsetenv("XDG_CONFIG_HOME");
}

TEST(RememberedSettings, ADamagedForeignOrPlantedStoreIsIgnored) {
    TempDir dir;
    const std::string file = dir.Slash() + "settings.json";
    const SettingsStore store = SettingsStore::At(file);
    // The four values as the store writes them; `account` is put in as it stands (JSON).
    auto json = [](const std::string& type, const std::string& speed, const std::string& target,
                   const std::string& account) {
        return "{\"Account\": " + account + ", \"ConnectionType\": \"" + type +
               "\", \"SpeedEntry\": \"" + speed + "\", \"Target\": \"" + target + "\"}";
    };
    const std::string wan = wirepace::kWanType;
    const std::string good = json(wan, "T1", "/mnt/b", "\"jo\"");
    WriteFile(file, good);
    ASSERT_TRUE(store.Load()) << "the well-formed file the cases below spoil";

    const std::string padding(70 * 1024, 'x');
    const std::vector<std::pair<const char*, std::string>> damaged = {
        {"empty", ""},
        {"garbage", std::string("\x00\xFF{\"Acc", 7)},
        {"cut short", good.substr(0, good.size() / 2)},
        {"not an object", "[\"T1\"]"},
        {"a number for a text", json(wan, "T1", "/mnt/b", "5")},
        {"a value missing", "{\"ConnectionType\": \"" + wan + "\", \"SpeedEntry\": \"T1\"}"},
        {"an unknown type", json("Token Ring", "T1", "/mnt/b", "\"\"")},
        {"a speed of the other type", json(wan, "10gb", "/mnt/b", "\"\"")},
        {"a line break in the target", json(wan, "T1", "/mnt/b\\n-- Error", "\"\"")},
        {"huge", "{\"Pad\": \"" + padding + "\", " + good.substr(1)},
    };
    for (const auto& [what, content] : damaged) {
        WriteFile(file, content);
        EXPECT_FALSE(store.Load()) << what;
    }

    // A link to a well-formed file is not read, and a save replaces the link, never what it
    // points at.
    const std::string elsewhere = dir.Slash() + "elsewhere.json";
    WriteFile(elsewhere, good);
    std::filesystem::remove(file);
    std::filesystem::create_symlink(elsewhere, file);
    EXPECT_FALSE(store.Load());
    EXPECT_FALSE(store.Save(Settings(wirepace::kLanType, "100mb", "/mnt/c", "")));
    EXPECT_EQ(ReadFile(elsewhere), good);
    EXPECT_FALSE(std::filesystem::is_symlink(file));
    EXPECT_EQ(store.Load()->target, "/mnt/c");

    // Not a plain file: a pipe (which must not hold the read) and a folder.
    std::filesystem::remove(file);
    ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    EXPECT_FALSE(store.Load());
    std::filesystem::remove(file);
    std::filesystem::create_directory(file);
    EXPECT_FALSE(store.Load());
    EXPECT_TRUE(store.Save(Settings(wirepace::kLanType, "100mb", "/mnt/c", "")));
    std::filesystem::remove(file);

    // Another user's file, however well-formed.
    WriteFile(file, good);
    if (::geteuid() != 0) GTEST_SKIP() << "giving a file to another user needs root";
    ASSERT_EQ(::chown(file.c_str(), 65534, 65534), 0);
    EXPECT_FALSE(store.Load());
}

}  // namespace
