// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>
#include <locale.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <tuple>
#include <utility>

#include "common/date_format.h"
#include "common/error.h"
#include "common/regional.h"
#include "platform/platform.h"
#include "support/error_number.h"
#include "support/temp_dir.h"
#include "support/unprivileged.h"

namespace wirepace {
namespace {

using testing::ErrorNumberOf;
using testing::ErrorTextOf;
using testing::TempDir;
namespace p = platform;

// Sets or (with nullptr) removes an environment variable for one scope.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        value ? setenv(name, value, 1) : unsetenv(name);
    }
    ~ScopedEnv() { old_ ? setenv(name_, old_->c_str(), 1) : unsetenv(name_); }

  private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(Files, CopyReplacesAndErrorsCarryTheirNumbers) {
    TempDir dir;
    const std::string a = dir.Slash() + "a.jnk", b = dir.Slash() + "b.jnk";
    testing::WriteFile(a, "new");
    testing::WriteFile(b, "a much longer old content");
    p::CopyUncached(a, b);
    EXPECT_EQ(testing::ReadFile(b), "new");
    EXPECT_EQ(p::FileLength(b), 3);

    EXPECT_EQ(ErrorNumberOf([&] { p::CopyUncached(dir.Slash() + "none", b); }), kErrFileNotFound);
    EXPECT_EQ(ErrorNumberOf([&] { p::CopyUncached(a, dir.Slash() + "no/such/dir/x"); }),
              kErrPathNotFound);
    EXPECT_EQ(ErrorNumberOf([&] { p::RemoveFile(dir.Slash() + "none"); }), kErrFileNotFound);
    EXPECT_EQ(ErrorNumberOf([&] { p::RemoveFile(dir.Slash() + "no/none"); }), kErrPathNotFound);
    EXPECT_EQ(ErrorNumberOf([&] { p::FileLength(dir.Slash() + "none"); }), kErrFileNotFound);
    // A device under the target's name is not a file to write through.
    EXPECT_EQ(ErrorNumberOf([&] { p::CopyUncached(a, "/dev/full"); }), kErrPathFileAccess);

    p::RenameFile(a, dir.Slash() + "c.jnk");
    EXPECT_FALSE(std::filesystem::exists(a));
    // Renaming never replaces a file silently.
    EXPECT_NE(ErrorNumberOf([&] { p::RenameFile(dir.Slash() + "c.jnk", b); }), 0);
    EXPECT_EQ(testing::ReadFile(b), "new");
    p::RemoveFile(b);
    EXPECT_EQ(testing::Entries(dir.Path()), std::vector<std::string>{"c.jnk"});
}

TEST(Files, TextLinesAndProgramImages) {
    TempDir dir;
    const std::string log = dir.Slash() + "log.txt";
    p::AppendLine(log, "one");
    p::AppendLine(log, "two");
    EXPECT_EQ(testing::ReadFile(log), "one\r\ntwo\r\n");
    EXPECT_EQ(p::ReadFirstLine(log), "one");
    p::WriteTextFile(log, " 12 \r\n");
    EXPECT_EQ(p::ReadFirstLine(log), " 12 ");
    p::CreateEmptyFile(log);
    EXPECT_EQ(p::FileLength(log), 0);

    const std::string image = dir.Slash() + "Drone1.exe";
    const unsigned char bytes[] = {1, 2, 3};
    testing::WriteFile(image, "abcdef");
    p::WriteProgramImage(image, bytes, sizeof bytes);  // written fresh
    EXPECT_EQ(testing::ReadFile(image), std::string("\x01\x02\x03"));
    EXPECT_EQ(std::filesystem::status(image).permissions(), std::filesystem::perms::owner_all);
}

TEST(Processes, ArgumentTextTravelsAsOneArgument) {
    TempDir dir;
    const std::string target = dir.Slash() + "a folder with blanks & more";
    auto process = p::StartProgram("/usr/bin/touch", target, p::WindowStyle::NormalFocus);
    ASSERT_TRUE(process->WaitForEnd(10000));
    EXPECT_TRUE(std::filesystem::exists(target));

    EXPECT_NE(ErrorNumberOf([&] {
                  p::StartProgram(dir.Slash() + "missing.exe", "x", p::WindowStyle::Hidden);
              }),
              0);

    char a0[] = "Drone1.exe", a1[] = "  -TO/tmp/x?1Test.jnk";
    char* argv[] = {a0, a1, nullptr};
    EXPECT_EQ(p::ArgumentText(2, argv), "-TO/tmp/x?1Test.jnk");
}

TEST(Locations, WorkRootAndLogFolderFollowTheEnvironment) {
    TempDir dir;
    ScopedEnv cache("XDG_CACHE_HOME", (dir.Slash() + "cache").c_str());
    ScopedEnv data("XDG_DATA_HOME", (dir.Slash() + "data").c_str());
    EXPECT_EQ(p::ControllerAppDrive(), dir.Slash() + "cache/wirepace/");
    EXPECT_EQ(p::LogFolder(), dir.Slash() + "data/wirepace/");
    EXPECT_TRUE(std::filesystem::is_directory(dir.Path() / "cache" / "wirepace"));

    auto first = p::AcquireSingleInstance();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(p::AcquireSingleInstance(), nullptr);
    first.reset();
    EXPECT_NE(p::AcquireSingleInstance(), nullptr);

    const std::string folder = p::ProgramFolder();
    EXPECT_EQ(folder.back(), '/');
    EXPECT_EQ(p::DroneAppDrive(), folder);
}

unsigned ModeOf(const std::filesystem::path& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

TEST(Locations, FoldersArePrivateAndMadeWithTheirParents) {
    TempDir dir;
    ScopedEnv cache("XDG_CACHE_HOME", (dir.Slash() + "deep/er/cache").c_str());
    ScopedEnv data("XDG_DATA_HOME", (dir.Slash() + "data").c_str());
    EXPECT_EQ(p::ControllerAppDrive(), dir.Slash() + "deep/er/cache/wirepace/");
    EXPECT_EQ(ModeOf(dir.Path() / "deep/er/cache/wirepace"), 0700u);
    EXPECT_EQ(p::LogFolder(), dir.Slash() + "data/wirepace/");
    EXPECT_EQ(ModeOf(dir.Path() / "data/wirepace"), 0700u);

    // A folder of ours that others can enter (made by an older version) is closed again.
    ::chmod((dir.Path() / "data/wirepace").c_str(), 0777);
    EXPECT_EQ(p::LogFolder(), dir.Slash() + "data/wirepace/");
    EXPECT_EQ(ModeOf(dir.Path() / "data/wirepace"), 0700u);
}

TEST(Locations, WithoutHomeTheFoldersComeFromThePasswordDatabase) {
    const passwd* pw = ::getpwuid(::geteuid());
    ASSERT_NE(pw, nullptr);
    const std::string home = pw->pw_dir;
    const std::filesystem::path cacheDir = std::filesystem::path(home) / ".cache";
    const bool hadCache = std::filesystem::exists(cacheDir);
    const bool hadRoot = std::filesystem::exists(cacheDir / "wirepace");
    TempDir dir;
    ScopedEnv data("XDG_DATA_HOME", (dir.Slash() + "data").c_str());
    ScopedEnv xdg("XDG_CACHE_HOME", nullptr);
    for (const char* value : {static_cast<const char*>(nullptr), ""}) {
        ScopedEnv noHome("HOME", value);
        std::string root;
        const std::string error = ErrorTextOf([&] { root = p::ControllerAppDrive(); });
        // Never a shared folder such as /tmp/.cache; where the home cannot be written the error
        // says which folder it is.
        EXPECT_EQ(root.find("/tmp/"), std::string::npos);
        if (error.empty()) {
            EXPECT_EQ(root, home + (home.back() == '/' ? "" : "/") + ".cache/wirepace/");
            EXPECT_EQ(ModeOf(root), 0700u);
        } else {
            EXPECT_NE(error.find(home), std::string::npos) << error;
        }
    }
    std::error_code ec;
    if (!hadRoot) std::filesystem::remove(cacheDir / "wirepace", ec);
    if (!hadCache) std::filesystem::remove(cacheDir, ec);
}

TEST(Locations, FoldersOfOthersLinksAndFilesAreRefused) {
    TempDir dir;
    const std::string cache = dir.Slash() + "cache";
    std::filesystem::create_directories(cache);
    ScopedEnv env("XDG_CACHE_HOME", cache.c_str());
    const std::string folder = cache + "/wirepace";

    // A link to a folder elsewhere: nothing is made there.
    std::filesystem::create_directories(dir.Path() / "elsewhere");
    std::filesystem::create_directory_symlink(dir.Path() / "elsewhere", folder);
    std::string error = ErrorTextOf([] { p::ControllerAppDrive(); });
    EXPECT_NE(error.find(folder + " is a symbolic link"), std::string::npos) << error;
    EXPECT_NE(error.find("XDG_CACHE_HOME"), std::string::npos) << error;
    EXPECT_EQ(ErrorNumberOf([] { p::AcquireSingleInstance(); }), kErrPermissionDenied);
    EXPECT_TRUE(testing::Entries(dir.Path() / "elsewhere").empty());
    std::filesystem::remove(folder);

    testing::WriteFile(folder, "not a folder");
    error = ErrorTextOf([] { p::ControllerAppDrive(); });
    EXPECT_NE(error.find(folder + " is not a folder"), std::string::npos) << error;
    std::filesystem::remove(folder);

    // Another user's folder, as root can make one.
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a folder to another user";
    std::filesystem::create_directory(folder);
    ASSERT_EQ(::chown(folder.c_str(), 65534, 65534), 0);
    error = ErrorTextOf([] { p::ControllerAppDrive(); });
    EXPECT_NE(error.find("The folder " + folder + " belongs to "), std::string::npos) << error;
    EXPECT_NE(error.find("uid 65534"), std::string::npos) << error;
    EXPECT_EQ(ErrorNumberOf([] { p::AcquireSingleInstance(); }), kErrPermissionDenied);
    EXPECT_TRUE(testing::Entries(folder).empty());  // no lock file made in it

    // And the other way round: a user meets a folder root made.
    std::filesystem::remove(folder);
    std::filesystem::create_directory(folder);
    ::chmod(dir.Path().c_str(), 0755);
    ScopedEnv data("XDG_DATA_HOME", cache.c_str());
    EXPECT_EQ(testing::RunUnprivileged([] {
                  const auto e = ErrorTextOf([] { p::LogFolder(); });
                  return e.find("belongs to root (uid 0), not to") != std::string::npos ? 0 : 1;
              }),
              0);
}

TEST(Locations, AFolderOthersCanWriteOnTheWayIsRefused) {
    TempDir dir;
    ScopedEnv noCache("XDG_CACHE_HOME", nullptr);
    ScopedEnv noData("XDG_DATA_HOME", nullptr);
    const auto refusal = [](const std::function<void()>& locate) {
        return std::make_pair(ErrorNumberOf(locate), ErrorTextOf(locate));
    };

    // A home anyone can write, sticky as /tmp is: anyone could have made .cache there first.
    const std::string shared = dir.Slash() + "shared";
    std::filesystem::create_directories(shared);
    ::chmod(shared.c_str(), 01777);
    {
        ScopedEnv home("HOME", shared.c_str());
        for (const auto& locate : {std::function<void()>([] { p::ControllerAppDrive(); }),
                                   std::function<void()>([] { p::LogFolder(); })}) {
            const auto [number, text] = refusal(locate);
            EXPECT_EQ(number, kErrPermissionDenied) << text;
            EXPECT_NE(text.find("The folder " + shared + " (HOME) can be written by other users"),
                      std::string::npos)
                << text;
        }
    }
    EXPECT_TRUE(testing::Entries(dir.Path() / "shared").empty());
    // The same for a base folder set through the environment.
    {
        ScopedEnv cache("XDG_CACHE_HOME", (dir.Slash() + "shared").c_str());
        const auto [number, text] = refusal([] { p::ControllerAppDrive(); });
        EXPECT_NE(text.find("(XDG_CACHE_HOME) can be written by other users"), std::string::npos)
            << text;
    }

    // Below a home of the user's own: a folder others can write is refused, naming it; a sticky
    // one is not (others cannot move what is ours in it), nor one only the user's group can write.
    const std::string home = dir.Slash() + "home";
    std::filesystem::create_directories(home + "/.cache");
    ::chmod(home.c_str(), 0700);
    ScopedEnv homeEnv("HOME", home.c_str());
    ::chmod((home + "/.cache").c_str(), 0777);
    auto [number, text] = refusal([] { p::ControllerAppDrive(); });
    EXPECT_EQ(number, kErrPermissionDenied);
    EXPECT_NE(text.find("The folder " + home + "/.cache can be written by other users"),
              std::string::npos)
        << text;
    EXPECT_FALSE(std::filesystem::exists(home + "/.cache/wirepace"));
    ::chmod((home + "/.cache").c_str(), 01777);
    EXPECT_EQ(p::ControllerAppDrive(), home + "/.cache/wirepace/");
    ::chmod((home + "/.cache").c_str(), 0770);
    ::chown((home + "/.cache").c_str(), ::geteuid(), ::getegid());
    EXPECT_EQ(p::ControllerAppDrive(), home + "/.cache/wirepace/");

    // Missing folders on the way are made, private.
    EXPECT_EQ(p::LogFolder(), home + "/.local/share/wirepace/");
    EXPECT_EQ(ModeOf(home + "/.local"), 0700u);
    EXPECT_EQ(ModeOf(home + "/.local/share"), 0700u);

    // Another user's folder on the way, as root can make one.
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a folder to another user";
    ::chmod((home + "/.cache").c_str(), 0755);
    ASSERT_EQ(::chown((home + "/.cache").c_str(), 65534, 65534), 0);
    std::tie(number, text) = refusal([] { p::ControllerAppDrive(); });
    EXPECT_EQ(number, kErrPermissionDenied);
    EXPECT_NE(text.find("The folder " + home + "/.cache belongs to "), std::string::npos) << text;
}

TEST(Conventions, SharesSeparatorsAndRegionalSettings) {
    EXPECT_TRUE(p::IsSharePath("//server/share"));
    EXPECT_TRUE(p::IsSharePath("\\\\server\\share"));
    EXPECT_FALSE(p::IsSharePath("/mnt/share"));
    EXPECT_FALSE(p::IsSharePath("/"));
    EXPECT_EQ(p::NormaliseSeparators("\\mnt\\x/y"), "/mnt/x/y");

    ScopedEnv locale("LC_ALL", "C");
    p::LoadRegionalSettings();
    EXPECT_EQ(Regional().decimalSeparator, ".");
    EXPECT_EQ(Regional().longTimePattern, "hh:nn:ss");
    EXPECT_EQ(Regional().shortDatePattern, "yyyy/mm/dd");
}

bool LocaleInstalled(const char* name) {
    const locale_t loc = ::newlocale(LC_TIME_MASK, name, static_cast<locale_t>(0));
    if (loc == static_cast<locale_t>(0)) return false;
    ::freelocale(loc);
    return true;
}

TEST(Conventions, ATwelveHourLocaleWritesTheTimeWithItsMarker) {
    constexpr const char* kLocale = "en_US.UTF-8";
    // Where the locale is not generated but its sources are there (Debian's "locales"),
    // it is compiled into a folder of its own, which LOCPATH points to.
    TempDir compiled;
    std::optional<ScopedEnv> path;
    if (!LocaleInstalled(kLocale) && std::filesystem::exists("/usr/share/i18n/locales/en_US")) {
        const std::string command =
            "localedef -i en_US -f UTF-8 '" + compiled.Slash() + kLocale + "' >/dev/null 2>&1";
        if (std::system(command.c_str()) == 0) path.emplace("LOCPATH", compiled.Path().c_str());
    }
    if (!LocaleInstalled(kLocale)) GTEST_SKIP() << kLocale << " is not installed";
    const RegionalSettings saved = Regional();
    {
        ScopedEnv locale("LC_ALL", kLocale);
        p::LoadRegionalSettings();
    }
    EXPECT_EQ(Regional().longTimePattern, "hh:nn:ss AMPM");
    EXPECT_EQ(LongTime(DateTime::TimeOfDay(14, 5, 9)), "02:05:09 PM");
    EXPECT_EQ(LongTime(DateTime::TimeOfDay(0, 5, 9)), "12:05:09 AM");
    // The results lines keep their 24-hour field.
    EXPECT_EQ(ResultTimeField(DateTime::TimeOfDay(14, 5, 9)), "14:05:09.129");
    SetRegional(saved);
}

}  // namespace
}  // namespace wirepace
