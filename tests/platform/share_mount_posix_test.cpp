// SPDX-License-Identifier: MIT
// The POSIX share mapping without a server: the smbnetfs configuration it writes, what it
// hands smbnetfs (seen by a stand-in on PATH), its clear refusals, and that nothing of a
// mapping survives a failure, a killed run or an emergency exit. Whole mappings against a real
// Samba server are the end-to-end test tests/share/smb_share_test.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>

#include "common/error.h"
#include "platform/platform.h"
#include "platform/platform_emergency.h"
#include "platform/share_mount_detail.h"
#include "support/temp_dir.h"

namespace wirepace {
namespace {

namespace smb = platform::smbnetfs;
using testing::TempDir;

std::string DescriptionOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const RuntimeError& e) {
        return e.Description();
    }
    return "<no error>";
}

TEST(SmbnetfsConfig, AccountAndPasswordAreQuotedWhole) {
    const platform::ShareTarget target{"srv", "bench"};
    const std::string text = smb::ConfigText(target, "CORP\\jo o'brien", "pa ss\"w\\o$rd & ;|#");
    // One auth line for this share only; a blank, a quote, a backslash and shell characters
    // stay inside their field, the domain form becomes smbnetfs's DOMAIN/user.
    EXPECT_NE(text.find("\nauth \"srv/bench\" \"CORP/jo o'brien\" \"pa ss\\\"w\\\\o$rd & ;|#\"\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("smb_query_browsers \"false\"\n"), std::string::npos);
    EXPECT_EQ(smb::Account("jo@corp.example"), "jo@corp.example");

    // No account and no password: smbnetfs's own default (the login name), no auth line.
    EXPECT_EQ(smb::ConfigText(target, "", "").find("auth"), std::string::npos);
    // An empty password is passed as one.
    EXPECT_NE(smb::ConfigText(target, "jo", "").find("auth \"srv/bench\" \"jo\" \"\"\n"),
              std::string::npos);
}

TEST(SmbnetfsConfig, WhatSmbnetfsCannotTakeIsRefusedClearly) {
    const platform::ShareTarget target{"srv", "bench"};
    auto refused = [&](const std::string& user, const std::string& password) {
        return DescriptionOf([&] { smb::ConfigText(target, user, password); });
    };
    // A line end would end the configuration line and let the rest be read as a directive.
    EXPECT_NE(refused("jo", "pw\nauth \"x\" \"y\" \"z\"").find("control character"),
              std::string::npos);
    EXPECT_NE(refused("jo\r", "pw").find("control character"), std::string::npos);
    EXPECT_NE(refused("", "pw").find("without an account name"), std::string::npos);
    for (const std::string bad : {"a/b/c", "\\jo", "CORP\\", "CORP\\a\\b"})
        EXPECT_NE(refused(bad, "pw").find("is not a user name or DOMAIN\\user name"),
                  std::string::npos)
            << bad;
    // smbnetfs reads 199 characters of a line; a longer one must not be cut silently.
    const std::string fits(smb::kMaxLine - std::string("auth \"srv/bench\" \"jo\" \"\"").size(),
                           'p');
    EXPECT_NO_THROW(smb::ConfigText(target, "jo", fits));
    EXPECT_NE(refused("jo", fits + "p").find("too long"), std::string::npos);
}

// Runs each test with PATH pointing at a folder of stand-ins, and a fresh work root.
class MapShareWithStandIns : public ::testing::Test {
  protected:
    void SetUp() override {
        if (const char* p = std::getenv("PATH")) savedPath = p;
        std::filesystem::create_directories(bin.Path());
        ::setenv("PATH", bin.Path().c_str(), 1);
    }
    void TearDown() override {
        if (savedPath)
            ::setenv("PATH", savedPath->c_str(), 1);
        else
            ::unsetenv("PATH");
    }
    void StandIn(const std::string& name, const std::string& script) {
        const auto path = bin.Path() / name;
        testing::WriteFile(path, "#!/bin/sh\n" + script);
        std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    }
    std::string Map(const std::string& user, const std::string& password) {
        return DescriptionOf([&] {
            platform::MapShare({"srv", "bench"}, "", user, password, root.Slash());
        });
    }

    TempDir bin, root, seen;
    std::optional<std::string> savedPath;
};

TEST_F(MapShareWithStandIns, NoSmbnetfsSaysSoAndLeavesNothing) {
    const std::string said = Map("jo", "pw");
    EXPECT_NE(said.find("smbnetfs is not installed"), std::string::npos) << said;
    EXPECT_NE(said.find("smbnetfs and fuse3"), std::string::npos) << said;
    EXPECT_TRUE(testing::Entries(root.Path()).empty());
}

TEST_F(MapShareWithStandIns, CredentialsGoInAPrivateFileNeverOnTheCommandLine) {
    if (::access("/dev/fuse", R_OK | W_OK) != 0) GTEST_SKIP() << "no usable /dev/fuse here";
    StandIn("fusermount3", "exit 0\n");
    // The stand-in records how it was called and what it was given, then fails the way
    // smbnetfs does without FUSE.
    StandIn("smbnetfs",
            "out=" + seen.Slash() +
                "\n"
                "printf '%s\\n' \"$@\" > \"$out/args\"\n"
                "echo \"$HOME\" > \"$out/home\"\n"
                "c=\"$HOME/.smb/smbnetfs.conf\"\n"
                "/usr/bin/stat -c %a \"$c\" > \"$out/mode\"\n"
                "/usr/bin/stat -c %a \"$(/usr/bin/dirname \"$c\")/../..\" > \"$out/folder-mode\"\n"
                "/bin/cp \"$c\" \"$out/config\"\n"
                "echo 'fuse: device not found, try modprobe fuse first' >&2\n"
                "exit 1\n");
    const std::string password = "s3cret pass; rm -rf \"$HOME\" `id`";
    const std::string said = Map("CORP\\jo", password);
    EXPECT_NE(said.find("smbnetfs could not mount //srv/bench: fuse: device not found"),
              std::string::npos)
        << said;
    EXPECT_EQ(said.find(password), std::string::npos);

    const std::string args = testing::ReadFile(seen.Path() / "args");
    EXPECT_EQ(args.find("s3cret"), std::string::npos) << args;
    EXPECT_EQ(args, root.Slash() + "share/mnt\n-o\nbig_writes\n");
    EXPECT_EQ(testing::ReadFile(seen.Path() / "home"), root.Slash() + "share/home/\n");
    EXPECT_EQ(testing::ReadFile(seen.Path() / "mode"), "600\n");
    EXPECT_EQ(testing::ReadFile(seen.Path() / "folder-mode"), "700\n");
    EXPECT_NE(testing::ReadFile(seen.Path() / "config").find("s3cret"), std::string::npos);
    // The failed mapping took its credentials and folders with it.
    EXPECT_TRUE(testing::Entries(root.Path()).empty());
}

TEST(StaleMapping, WhatAKilledRunLeftIsRemovedAndPlantedLinksAreNotFollowed) {
    TempDir root, elsewhere;
    const auto l = smb::LayoutFor(root.Slash());
    std::filesystem::create_directories(l.configDir);
    std::filesystem::create_directories(l.mount);
    std::filesystem::create_directories(l.home + ".cache/samba");
    testing::WriteFile(l.config, "auth \"srv/bench\" \"jo\" \"pw\"\n");
    testing::WriteFile(l.home + ".cache/samba/gencache.tdb", "x");
    testing::WriteFile(l.log, "x");
    // A link in smbnetfs's home is removed, not followed.
    testing::WriteFile(elsewhere.Path() / "keep", "kept");
    std::filesystem::create_directory_symlink(elsewhere.Path(), l.home + "link");
    platform::RemoveStaleShareMapping(root.Slash());
    EXPECT_TRUE(testing::Entries(root.Path()).empty());
    EXPECT_EQ(testing::ReadFile(elsewhere.Path() / "keep"), "kept");

    // A link planted under the mapping folder's name: only the link goes.
    std::filesystem::create_directory_symlink(elsewhere.Path(), root.Path() / "share");
    platform::RemoveStaleShareMapping(root.Slash());
    EXPECT_TRUE(testing::Entries(root.Path()).empty());
    EXPECT_EQ(testing::Entries(elsewhere.Path()), (std::vector<std::string>{"keep"}));

    platform::RemoveStaleShareMapping(root.Slash());  // nothing there: nothing to do
}

// True when something is mounted on `dir` (no trailing separator).
bool Mounted(const std::string& dir) {
    std::ifstream table("/proc/self/mountinfo");
    for (std::string line; std::getline(table, line);) {
        std::istringstream fields(line);
        std::string id, parent, device, root, point;
        fields >> id >> parent >> device >> root >> point;
        if (point == dir) return true;
    }
    return false;
}

// True while a process of the group runs (a zombie nobody reaps has ended).
bool GroupRuns(int group) {
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream stat(entry.path() / "stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        const auto close = text.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream rest(text.substr(close + 2));
        char state = 0;
        int parent = 0, processGroup = 0;
        rest >> state >> parent >> processGroup;
        if (processGroup == group && state != 'Z' && state != 'X') return true;
    }
    return false;
}

TEST(EmergencyMount, AnEmergencyExitUnmountsEndsSmbnetfsAndRemovesTheCredentials) {
    // A real smbnetfs mount; it needs no server until a share is opened.
    const std::string fusermount = std::filesystem::exists("/usr/bin/fusermount3")
                                       ? "/usr/bin/fusermount3"
                                       : "/usr/bin/fusermount";
    if (::access("/dev/fuse", R_OK | W_OK) != 0 || ::access("/usr/bin/smbnetfs", X_OK) != 0 ||
        ::access(fusermount.c_str(), X_OK) != 0)
        GTEST_SKIP() << "needs FUSE, smbnetfs and fusermount";
    TempDir root;
    const auto l = smb::LayoutFor(root.Slash());
    const std::string mount = l.mount.substr(0, l.mount.size() - 1);
    std::filesystem::create_directories(l.configDir);
    std::filesystem::create_directories(l.mount);
    testing::WriteFile(l.config, smb::ConfigText({"srv", "bench"}, "jo", "pw"));
    testing::WriteFile(l.smbConf, "[global]\n");
    const std::string command = "HOME='" + l.home + "' /usr/bin/smbnetfs '" + mount +
                                "' -o big_writes </dev/null >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    ASSERT_TRUE(Mounted(mount));
    const int group = smb::DaemonProcessGroup(mount);
    EXPECT_GT(group, 1);

    platform::SetEmergencyMount({l.config, mount, fusermount, group});
    platform::RunEmergencyCleanup();
    platform::ClearEmergencyMount();
    EXPECT_FALSE(std::filesystem::exists(l.config));
    EXPECT_FALSE(Mounted(mount));
    for (int waited = 0; group > 1 && GroupRuns(group) && waited < 100; ++waited)
        ::usleep(20 * 1000);
    EXPECT_FALSE(group > 1 && GroupRuns(group)) << "smbnetfs still runs";

    // Whatever failed above, no mount stays behind the test.
    if (Mounted(mount)) {
        const std::string unmount = fusermount + " -u -z '" + mount + "'";
        EXPECT_EQ(std::system(unmount.c_str()), 0);
    }
}

}  // namespace
}  // namespace wirepace
