// SPDX-License-Identifier: MIT
// The Windows platform layer against the real system (Wine in CI): files through UTF-16 and the
// ANSI code page, error numbers, processes and their command lines, the one-instance mark,
// locations, the environment and the regional settings.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "common/date_format.h"
#include "common/error.h"
#include "common/regional.h"
#include "platform/platform.h"
#include "platform/platform_win32_detail.h"
#include "support/error_number.h"
#include "support/start_program_args_win32.h"
#include "win_temp_dir.h"

namespace wirepace {
namespace {

namespace win32 = platform::win32;
using testing::ReadBytes;
using testing::WinTempDir;
using testing::WriteBytes;

using testing::ErrorNumberOf;

// ---- pure pieces -----------------------------------------------------------------------------

TEST(Quoting, ArgumentsThatNeedNoQuotesStayAsTheyAre) {
    EXPECT_EQ(testing::QuoteArgument("use"), "use");
    EXPECT_EQ(testing::QuoteArgument("\\\\server\\share"), "\\\\server\\share");
    EXPECT_EQ(testing::QuoteArgument("/user:bench"), "/user:bench");
}

TEST(Quoting, BlanksQuotesAndBackslashesFollowTheRuntimeRules) {
    EXPECT_EQ(testing::QuoteArgument(""), "\"\"");
    EXPECT_EQ(testing::QuoteArgument("two words"), "\"two words\"");
    EXPECT_EQ(testing::QuoteArgument("say \"hi\""), "\"say \\\"hi\\\"\"");
    // Backslashes before a quote are doubled; before the closing quote, too.
    EXPECT_EQ(testing::QuoteArgument("a\\\"b"), "\"a\\\\\\\"b\"");
    EXPECT_EQ(testing::QuoteArgument("C:\\with blank\\"), "\"C:\\with blank\\\\\"");
    // Backslashes elsewhere are taken literally and stay single.
    EXPECT_EQ(testing::QuoteArgument("C:\\a b\\c"), "\"C:\\a b\\c\"");
}

TEST(Quoting, ProgramPathIsQuotedOnlyWithBlanks) {
    EXPECT_EQ(win32::QuoteProgramPath("C:\\Drone1.exe"), "C:\\Drone1.exe");
    EXPECT_EQ(win32::QuoteProgramPath("C:\\my tools\\Drone1.exe"), "\"C:\\my tools\\Drone1.exe\"");
}

TEST(CommandLine, TailFollowsTheProgramPath) {
    EXPECT_EQ(win32::CommandLineTail(L"C:\\Drone1.exe -TOZ:\\t\\?f.jnk"), L"-TOZ:\\t\\?f.jnk");
    EXPECT_EQ(win32::CommandLineTail(L"\"C:\\a b\\Drone1.exe\"   -FROMx?y"), L"-FROMx?y");
    // A quoted path needs no blank after its closing quote.
    EXPECT_EQ(win32::CommandLineTail(L"\"C:\\a b\\d.exe\"-TOx?y"), L"-TOx?y");
    EXPECT_EQ(win32::CommandLineTail(L"C:\\Drone1.exe\t \t-TO a  b"), L"-TO a  b");
    EXPECT_EQ(win32::CommandLineTail(L"C:\\Drone1.exe"), L"");
    EXPECT_EQ(win32::CommandLineTail(L"C:\\Drone1.exe   "), L"");
    EXPECT_EQ(win32::CommandLineTail(L"\"C:\\unclosed quote -TO"), L"");
}

TEST(LocalePictures, ShortDatesBecomeDatePatterns) {
    EXPECT_EQ(win32::DatePatternFromPicture("M/d/yyyy", "/"), "m/d/yyyy");
    EXPECT_EQ(win32::DatePatternFromPicture("dd.MM.yyyy", "."), "dd/mm/yyyy");
    EXPECT_EQ(win32::DatePatternFromPicture("yyyy-MM-dd", "-"), "yyyy/mm/dd");
    EXPECT_EQ(win32::DatePatternFromPicture("dd/MM/yy", "/"), "dd/mm/yy");
    // A separator of two characters, and a literal that stays.
    EXPECT_EQ(win32::DatePatternFromPicture("yyyy. MM. dd.", ". "), "yyyy/mm/dd.");
    // Names have no place in the pattern language: day names go, month names become numbers.
    EXPECT_EQ(win32::DatePatternFromPicture("ddd dd/MMM/yyyy", "/"), "dd/mm/yyyy");
    // Era marks go; a quoted literal without pattern letters stays, one with them goes.
    EXPECT_EQ(win32::DatePatternFromPicture("gg yyyy/MM/dd", "/"), "yyyy/mm/dd");
    EXPECT_EQ(win32::DatePatternFromPicture("d 'of' MM", "/"), "d of mm");
    EXPECT_EQ(win32::DatePatternFromPicture("'day' d-MM", "-"), "d/mm");
    EXPECT_EQ(win32::DatePatternFromPicture("", "/"), "");
    EXPECT_EQ(win32::DatePatternFromPicture("'text only'", "/"), "");
}

TEST(LocalePictures, TimesBecomePatternsWithTheirAmPmMarker) {
    EXPECT_EQ(win32::TimePatternFromPicture("h:mm:ss tt", ":"), "h:nn:ss AMPM");
    EXPECT_EQ(win32::TimePatternFromPicture("HH:mm:ss", ":"), "hh:nn:ss");
    EXPECT_EQ(win32::TimePatternFromPicture("tt hh:mm:ss", ":"), "AMPM hh:nn:ss");
    EXPECT_EQ(win32::TimePatternFromPicture("H.mm.ss", "."), "h:nn:ss");
    EXPECT_EQ(win32::TimePatternFromPicture("HH 'Uhr' mm", ":"), "hh  nn");
    EXPECT_EQ(win32::TimePatternFromPicture("tt", ":"), "");
}

TEST(ErrorNumbers, SystemErrorsMapToTheRunTimeNumbers) {
    const std::map<DWORD, int> expected = {
        {ERROR_FILE_NOT_FOUND, 53},    {ERROR_PATH_NOT_FOUND, 76}, {ERROR_BAD_NETPATH, 76},
        {ERROR_BAD_NET_NAME, 76},      {ERROR_INVALID_NAME, 76},   {ERROR_ACCESS_DENIED, 70},
        {ERROR_SHARING_VIOLATION, 70}, {ERROR_LOCK_VIOLATION, 70}, {ERROR_DISK_FULL, 61},
        {ERROR_HANDLE_DISK_FULL, 61},  {ERROR_ALREADY_EXISTS, 75}, {ERROR_GEN_FAILURE, 75},
    };
    for (const auto& [error, number] : expected)
        EXPECT_EQ(win32::ErrorNumberFor(error), number) << "system error " << error;
}

TEST(Paths, SharesAndLongPathPrefixes) {
    EXPECT_TRUE(win32::IsShareFolder("\\\\server\\share\\tools\\"));
    EXPECT_TRUE(win32::IsShareFolder("//server/share"));
    EXPECT_FALSE(win32::IsShareFolder("C:\\tools\\"));
    EXPECT_FALSE(win32::IsShareFolder("\\tools"));
    EXPECT_EQ(win32::WithoutLongPathPrefix("\\\\?\\D:\\tools\\w.exe"), "D:\\tools\\w.exe");
    EXPECT_EQ(win32::WithoutLongPathPrefix("\\\\?\\UNC\\srv\\sh\\w.exe"), "\\\\srv\\sh\\w.exe");
    EXPECT_EQ(win32::WithoutLongPathPrefix("\\??\\UNC\\srv\\sh\\w.exe"), "\\\\srv\\sh\\w.exe");
    EXPECT_EQ(win32::WithoutLongPathPrefix("\\??\\C:\\w.exe"), "C:\\w.exe");
    EXPECT_EQ(win32::WithoutLongPathPrefix("UNC\\srv\\sh\\w.exe"), "\\\\srv\\sh\\w.exe");
    EXPECT_EQ(win32::WithoutLongPathPrefix("C:\\w.exe"), "C:\\w.exe");
}

TEST(Paths, TargetsAreSharesOnlyWithTwoLeadingSeparators) {
    EXPECT_TRUE(platform::IsSharePath("\\\\server\\share"));
    EXPECT_FALSE(platform::IsSharePath("D:\\bench"));
    // A relative path is no share: it is refused as not a full path, never mapped.
    EXPECT_FALSE(platform::IsSharePath("server\\share"));
    EXPECT_FALSE(platform::IsSharePath(""));
    EXPECT_EQ(platform::NormaliseSeparators("//srv/share/dir"), "\\\\srv\\share\\dir");
    EXPECT_EQ(platform::Separator(), '\\');
}

// ---- files -----------------------------------------------------------------------------------

class Files : public ::testing::Test {
  protected:
    WinTempDir dir;
    std::string At(const std::string& name) const { return dir.Slash() + name; }
};

TEST_F(Files, CopyReplacesTheTargetAndLengthReadsIt) {
    WriteBytes(At("a.bin"), std::string(3000, 'a'));
    WriteBytes(At("b.bin"), std::string(9000, 'b'));
    platform::CopyUncached(At("a.bin"), At("b.bin"));
    EXPECT_EQ(ReadBytes(At("b.bin")), std::string(3000, 'a'));
    EXPECT_EQ(platform::FileLength(At("b.bin")), 3000);
    EXPECT_EQ(platform::FileLength(At("a.bin")), 3000);
}

TEST_F(Files, UnbufferedCopiesOfOddLengthsAreExact) {
    // Unbuffered transfers move whole sectors; the length must still come out exact.
    for (std::size_t size :
         {std::size_t{1}, std::size_t{511}, std::size_t{4097}, std::size_t{(1u << 20) + 333}}) {
        std::string content(size, '\0');
        for (std::size_t i = 0; i < size; ++i) content[i] = static_cast<char>(i * 13);
        WriteBytes(At("odd.bin"), content);
        EXPECT_EQ(platform::CopyUncached(At("odd.bin"), At("copy.bin")),
                  platform::CacheBypass::DirectReads);
        EXPECT_EQ(ReadBytes(At("copy.bin")), content) << size;
        EXPECT_EQ(platform::FileLength(At("copy.bin")), static_cast<std::int64_t>(size));
    }
}

TEST_F(Files, FreshFilesAndWhatNamesAre) {
    const unsigned char image[] = {1, 2, 3};
    WriteBytes(At("Drone1.exe"), "a longer old image");
    platform::WriteProgramImage(At("Drone1.exe"), image, sizeof image);
    EXPECT_EQ(ReadBytes(At("Drone1.exe")), std::string("\x01\x02\x03"));
    EXPECT_FALSE(platform::CreateExclusiveFile(At("Drone1.exe"), "x"));
    EXPECT_TRUE(platform::CreateExclusiveFile(At("lock"), "me"));
    EXPECT_EQ(ReadBytes(At("lock")), "me");
    EXPECT_EQ(platform::KindOf(At("lock")), platform::EntryKind::File);
    EXPECT_EQ(platform::KindOf(At("missing")), platform::EntryKind::Missing);
    std::filesystem::create_directory(dir.Path() / "sub");
    EXPECT_EQ(platform::KindOf(At("sub")), platform::EntryKind::Other);
    // A folder under a file's name is never written into.
    EXPECT_EQ(ErrorNumberOf([&] { platform::CreateEmptyFile(At("sub")); }), 75);
    auto names = platform::FolderEntries(dir.Slash());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Drone1.exe", "lock", "sub"}));
    platform::TouchFile(At("lock"));
    EXPECT_LT(platform::FileAgeSeconds(At("lock")), 60);
    EXPECT_FALSE(platform::IsNetworkFolder(dir.Slash()));
    EXPECT_TRUE(platform::IsNetworkFolder("\\\\server\\share\\"));
    EXPECT_TRUE(platform::ProcessAlive(platform::CurrentProcessId()));
    EXPECT_FALSE(platform::HostName().empty());
}

TEST_F(Files, FailuresCarryTheRunTimeNumbers) {
    WriteBytes(At("x.bin"), "x");
    EXPECT_EQ(ErrorNumberOf([&] { platform::CopyUncached(At("missing"), At("y")); }), 53);
    EXPECT_EQ(ErrorNumberOf([&] { platform::CopyUncached(At("x.bin"), At("no\\such\\y")); }), 76);
    EXPECT_EQ(ErrorNumberOf([&] { platform::RemoveFile(At("missing")); }), 53);
    EXPECT_EQ(ErrorNumberOf([&] { platform::RemoveFile(At("no\\such")); }), 76);
    EXPECT_EQ(ErrorNumberOf([&] { platform::FileLength(At("missing")); }), 53);
    EXPECT_EQ(ErrorNumberOf([&] { platform::FileLength(""); }), 53);
    EXPECT_EQ(ErrorNumberOf([&] { platform::ReadFirstLine(At("missing")); }), 53);
    EXPECT_EQ(ErrorNumberOf([&] { platform::CreateEmptyFile(At("no\\such\\f")); }), 76);
    EXPECT_EQ(ErrorNumberOf([] { platform::CopyUncached("Q:\\nowhere\\x", "Q:\\nowhere\\y"); }),
              76);
    // A folder is not a file to delete.
    std::filesystem::create_directory(dir.Path() / "sub");
    EXPECT_EQ(ErrorNumberOf([&] { platform::RemoveFile(At("sub")); }), 75);
}

TEST_F(Files, AFileInUseIsPermissionDenied) {
    WriteBytes(At("busy.bin"), "busy");
    const HANDLE h = ::CreateFileW(win32::Widen(At("busy.bin")).c_str(), GENERIC_READ, 0, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(ErrorNumberOf([&] { platform::RemoveFile(At("busy.bin")); }), 70);
    EXPECT_EQ(ErrorNumberOf([&] { platform::CopyUncached(At("busy.bin"), At("copy.bin")); }), 70);
    ::CloseHandle(h);
    platform::RemoveFile(At("busy.bin"));
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "busy.bin"));
}

TEST_F(Files, RenameNeverReplacesAFile) {
    WriteBytes(At("from"), "from");
    WriteBytes(At("to"), "to");
    EXPECT_EQ(ErrorNumberOf([&] { platform::RenameFile(At("from"), At("to")); }), 75);
    EXPECT_EQ(ReadBytes(At("from")), "from");
    EXPECT_EQ(ReadBytes(At("to")), "to");
    platform::RenameFile(At("from"), At("moved"));
    EXPECT_EQ(ReadBytes(At("moved")), "from");
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "from"));
}

TEST_F(Files, NamesTravelAsUtf16) {
    const std::string name =
        "Gr\xC3\xBC\xC3\x9F"
        "e \xE2\x82\xAC.txt";  // "Grüße €.txt"
    platform::CreateEmptyFile(At(name));
    WIN32_FIND_DATAW found{};
    const HANDLE h = ::FindFirstFileW((dir.Path() / L"*.txt").c_str(), &found);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    ::FindClose(h);
    EXPECT_EQ(std::wstring(found.cFileName), L"Gr\u00FC\u00DFe \u20AC.txt");
    EXPECT_EQ(platform::FileLength(At(name)), 0);
    platform::RemoveFile(At(name));
}

// A new log is UTF-8 behind a byte-order mark and stores any character; a log without the
// mark (an older version's) stays in the ANSI code page, and what that cannot store exactly is
// refused, never replaced, with the file untouched.
TEST_F(Files, TextLinesKeepTheirFilesEncodingAndLoseNothing) {
    const std::string line =
        "caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80";  // "café 日本 😀"
    EXPECT_EQ(platform::UnstorableCharacter(At("log.txt"), line), std::nullopt);
    platform::AppendLine(At("log.txt"), line);
    platform::AppendLine(At("log.txt"), "second");
    EXPECT_EQ(ReadBytes(At("log.txt")), "\xEF\xBB\xBF" + line + "\r\nsecond\r\n");
    EXPECT_EQ(platform::UnstorableCharacter(At("log.txt"), line), std::nullopt);
    // Read back as UTF-8, the mark left out (the history).
    EXPECT_EQ(platform::ReadTextFile(At("log.txt")), line + "\r\nsecond\r\n");

    const std::string storable = "caf\xC3\xA9 12,5";  // "café 12,5"
    const std::string ansi = win32::Utf8ToCodePage(storable, ::GetACP());
    WriteBytes(At("old.txt"), "first\r\n");
    platform::AppendLine(At("old.txt"), storable);
    EXPECT_EQ(ReadBytes(At("old.txt")), "first\r\n" + ansi + "\r\n");
    if (::GetACP() == 1252) {
        EXPECT_EQ(ansi, "caf\xE9 12,5");
        const std::string before = ReadBytes(At("old.txt"));
        // "日" has no place in it, and "ł" only a look-alike ("l"): both refused, named.
        for (const std::string& refused : {std::string("\xE6\x97\xA5"), std::string("\xC5\x82")}) {
            const auto message = platform::UnstorableCharacter(At("old.txt"), "a " + refused);
            ASSERT_TRUE(message);
            EXPECT_NE(message->find("\"" + refused + "\""), std::string::npos) << *message;
            EXPECT_NE(message->find("1252"), std::string::npos) << *message;
            EXPECT_EQ(ErrorNumberOf([&] { platform::AppendLine(At("old.txt"), "a " + refused); }),
                      kErrPathFileAccess);
        }
        EXPECT_NE(platform::UnstorableCharacter(At("old.txt"), "\xE6\x97\xA5")->find("U+65E5"),
                  std::string::npos);
        EXPECT_EQ(ReadBytes(At("old.txt")), before);
    }
    EXPECT_EQ(platform::ReadFirstLine(At("old.txt")), "first");
    EXPECT_EQ(platform::ReadTextFile(At("old.txt")), "first\r\n" + storable + "\r\n");

    platform::WriteTextFile(At("t.txt"), "42");
    platform::WriteTextFile(At("t.txt"), "7");
    EXPECT_EQ(ReadBytes(At("t.txt")), "7");
    WriteBytes(At("empty.txt"), "");
    EXPECT_EQ(platform::ReadFirstLine(At("empty.txt")), "");
}

TEST_F(Files, AReportReplacesItsFileInOneStep) {
    // The report is UTF-8 as it stands, not the log's code page.
    const std::string html = "<p>caf\xC3\xA9</p>";
    platform::ReplaceFileWhole(At("r.html"), html);
    platform::ReplaceFileWhole(At("r.html"), html + "\n");
    EXPECT_EQ(ReadBytes(At("r.html")), html + "\n");
    EXPECT_EQ(ErrorNumberOf([&] { platform::ReplaceFileWhole(At("no\\such\\r.html"), "x"); }), 76);
    std::filesystem::create_directory(dir.Path() / "sub");
    EXPECT_EQ(ErrorNumberOf([&] { platform::ReplaceFileWhole(At("sub"), "x"); }), 75);
    auto names = platform::FolderEntries(dir.Slash());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"r.html", "sub"}));
    EXPECT_FALSE(platform::FileSystemType(dir.Slash()).empty());
    EXPECT_EQ(platform::FileSystemType("relative\\folder"), "");
}

TEST_F(Files, WriterAndProgramImagesWriteFreshFiles) {
    WriteBytes(At("w.bin"), std::string(100, 'o'));
    {
        platform::FileWriter writer(At("w.bin"));
        writer.Write("abc", 3);
        writer.Write("de", 2);
        writer.Close();
        writer.Close();  // a second close does nothing
    }
    EXPECT_EQ(ReadBytes(At("w.bin")), "abcde");

    WriteBytes(At("img.exe"), "0123456789");
    const unsigned char bytes[] = {'A', 'B', 'C'};
    platform::WriteProgramImage(At("img.exe"), bytes, sizeof bytes);
    EXPECT_EQ(ReadBytes(At("img.exe")), "ABC");  // nothing of the old file stays
    platform::WriteProgramImage(At("new.exe"), bytes, sizeof bytes);
    EXPECT_EQ(ReadBytes(At("new.exe")), "ABC");
}

// ---- processes -------------------------------------------------------------------------------

class Processes : public ::testing::Test {
  protected:
    void SetUp() override {
        echo = dir.Slash() + "with blank\\echo args.exe";
        std::filesystem::create_directory(dir.Path() / "with blank");
        platform::CopyUncached(platform::ProgramFolder() + "win32_echo_args.exe", echo);
        outFile = dir.Slash() + "echo.txt";
        ::SetEnvironmentVariableW(L"WIREPACE_ECHO_OUT", win32::Widen(outFile).c_str());
    }
    void TearDown() override { ::SetEnvironmentVariableW(L"WIREPACE_ECHO_OUT", nullptr); }

    // What the helper reported, key by key (arguments in order under "arg").
    std::multimap<std::string, std::string> Report(platform::Process& process) {
        EXPECT_TRUE(process.WaitForEnd(20000));
        EXPECT_TRUE(process.HasEnded());
        std::multimap<std::string, std::string> report;
        std::istringstream in(testing::WaitForReport(outFile, 20000));
        for (std::string line; std::getline(in, line);) {
            const auto eq = line.find('=');
            if (eq != std::string::npos) report.emplace(line.substr(0, eq), line.substr(eq + 1));
        }
        return report;
    }
    static std::vector<std::string> Args(const std::multimap<std::string, std::string>& r) {
        std::vector<std::string> args;
        const auto [from, to] = r.equal_range("arg");
        for (auto it = from; it != to; ++it) args.push_back(it->second);
        return args;
    }

    WinTempDir dir;
    std::string echo, outFile;
};

TEST_F(Processes, ArgumentTextArrivesWholeAfterTheQuotedProgramPath) {
    const std::string text = "-TOZ:\\target with  blanks\\?Test1024.jnk";
    auto process = platform::StartProgram(echo, text, platform::WindowStyle::NormalFocus);
    ASSERT_TRUE(process);
    const auto report = Report(*process);
    EXPECT_EQ(report.find("text")->second, text);
    EXPECT_EQ(report.find("useshow")->second, "1");
    EXPECT_EQ(report.find("show")->second, std::to_string(SW_SHOWNORMAL));
    EXPECT_EQ(report.find("pid")->second, std::to_string(process->Id()));
}

TEST_F(Processes, HiddenStartAsksForAHiddenWindow) {
    auto process = platform::StartProgram(echo, "-FROMx?y", platform::WindowStyle::Hidden);
    const auto report = Report(*process);
    EXPECT_EQ(report.find("text")->second, "-FROMx?y");
    EXPECT_EQ(report.find("useshow")->second, "1");
    EXPECT_EQ(report.find("show")->second, std::to_string(SW_HIDE));
}

TEST_F(Processes, EveryArgumentArrivesIntact) {
    const std::vector<std::string> args = {"use",
                                           "E:",
                                           "\\\\srv\\share",
                                           "pass word",
                                           "p\"q",
                                           "/user:my account",
                                           "C:\\dir with\\",
                                           "",
                                           "a\\\\\"b",
                                           "&|<>^%PATH%"};
    auto process = testing::StartProgramArgs(echo, args, platform::WindowStyle::Hidden);
    ASSERT_TRUE(process);
    const auto report = Report(*process);
    EXPECT_EQ(report.find("argc")->second, std::to_string(args.size() + 1));
    EXPECT_EQ(Args(report), args);
}

TEST_F(Processes, AMissingProgramCannotStart) {
    EXPECT_EQ(ErrorNumberOf([&] {
                  platform::StartProgram(dir.Slash() + "missing.exe", "x",
                                         platform::WindowStyle::Hidden);
              }),
              53);
}

// ---- the rest --------------------------------------------------------------------------------

TEST(SingleInstance, OneMarkAtATime) {
    auto first = platform::AcquireSingleInstance();
    ASSERT_TRUE(first);
    EXPECT_FALSE(platform::AcquireSingleInstance());
    first.reset();
    auto again = platform::AcquireSingleInstance();
    EXPECT_TRUE(again);
}

TEST(Locations, WorkFilesLieInTheRootOfTheProgramDrive) {
    const std::string path = platform::ProgramPath();
    const std::string folder = platform::ProgramFolder();
    ASSERT_GE(folder.size(), 3u);
    EXPECT_EQ(folder.back(), '\\');
    EXPECT_EQ(path.rfind(folder, 0), 0u);
    EXPECT_EQ(path.substr(folder.size()), "win32_platform_test.exe");
    EXPECT_TRUE(std::filesystem::exists(PathFromUtf8(path)));

    const std::string drive = platform::ControllerAppDrive();
    EXPECT_EQ(drive, folder.substr(0, 3));
    EXPECT_EQ(drive[1], ':');
    EXPECT_EQ(drive[2], '\\');
    // A drone's work root is its own folder (the controller's work root, where it wrote it).
    EXPECT_EQ(platform::DroneAppDrive(), folder);
    EXPECT_EQ(platform::LogFolder(), folder);
    EXPECT_FALSE(platform::ProgramRunsFromShare());
}

// A standard user cannot create files in the root of the system drive: the controller then
// works in a folder of its own under %LOCALAPPDATA%, and a drone in the folder it was
// written to; where the root can be written nothing changes.
TEST(Locations, WorkRootFallsBackToThePerUserFolderWhenTheRootIsReadOnly) {
    std::vector<std::string> asked;
    auto writable = [&](const std::string& root) {
        asked.push_back(root);
        return true;
    };
    auto readOnly = [&](const std::string& root) {
        asked.push_back(root);
        return false;
    };
    const std::string local = "C:\\Users\\Ann\\AppData\\Local";
    EXPECT_EQ(win32::ControllerWorkRoot("C:\\Tools\\Bench\\", writable, local), "C:\\");
    EXPECT_EQ(win32::ControllerWorkRoot("C:\\Tools\\Bench\\", readOnly, local),
              "C:\\Users\\Ann\\AppData\\Local\\Wirepace\\");
    EXPECT_EQ(win32::ControllerWorkRoot("D:\\", readOnly, local + "\\"),
              "C:\\Users\\Ann\\AppData\\Local\\Wirepace\\");
    EXPECT_EQ(asked, (std::vector<std::string>{"C:\\", "C:\\", "D:\\"}));
    // Without the variable the root stays, and the run reports what fails there.
    EXPECT_EQ(win32::ControllerWorkRoot("E:\\x\\", readOnly, ""), "E:\\");

    EXPECT_EQ(win32::DroneWorkRoot("C:\\"), "C:\\");
    EXPECT_EQ(win32::DroneWorkRoot("C:\\Users\\Ann\\AppData\\Local\\Wirepace\\"),
              "C:\\Users\\Ann\\AppData\\Local\\Wirepace\\");
}

TEST(Environment, ValuesAsUtf8) {
    ::SetEnvironmentVariableW(L"WIREPACE_TEST_VALUE", L"C:\\Programme\\M\u00FCller");
    EXPECT_EQ(platform::GetEnv("WIREPACE_TEST_VALUE"), "C:\\Programme\\M\xC3\xBCller");
    ::SetEnvironmentVariableW(L"WIREPACE_TEST_VALUE", L"");
    EXPECT_EQ(platform::GetEnv("WIREPACE_TEST_VALUE"), "");
    ::SetEnvironmentVariableW(L"WIREPACE_TEST_VALUE", nullptr);
    EXPECT_EQ(platform::GetEnv("WIREPACE_TEST_VALUE"), std::nullopt);
}

TEST(Regional, DatesAndTimesReadAsTheSystemWritesThem) {
    const RegionalSettings before = Regional();
    platform::LoadRegionalSettings();
    const RegionalSettings& loaded = Regional();

    wchar_t decimal[8] = {};
    ::GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, decimal, 8);
    EXPECT_EQ(loaded.decimalSeparator, win32::Narrow(decimal));

    // The system's own short date and long time of the same moments, the AM/PM marker of a
    // twelve-hour setting included; midnight and the afternoon are where the clocks differ.
    for (const auto& [hour, minute, second] :
         {std::array{14, 5, 9}, std::array{9, 7, 3}, std::array{0, 5, 9}}) {
        SYSTEMTIME st{};
        st.wYear = 2024;
        st.wMonth = 3;
        st.wDay = 7;
        st.wHour = static_cast<WORD>(hour);
        st.wMinute = static_cast<WORD>(minute);
        st.wSecond = static_cast<WORD>(second);
        wchar_t date[64] = {}, time[64] = {};
        ::GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, date, 64,
                          nullptr);
        ::GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &st, nullptr, time, 64);
        std::string systemTime = win32::Narrow(time);
        while (!systemTime.empty() && systemTime.back() == ' ') systemTime.pop_back();
        while (!systemTime.empty() && systemTime.front() == ' ') systemTime.erase(0, 1);

        DateTime value;
        value.year = 2024;
        value.month = 3;
        value.day = 7;
        value.hour = hour;
        value.minute = minute;
        value.second = second;
        EXPECT_EQ(ShortDate(value), win32::Narrow(date));
        EXPECT_EQ(LongTime(value), systemTime);
    }
    SetRegional(before);
}

TEST(Drives, TheDriveListNamesEveryDriveInUse) {
    const auto list = platform::LogicalDriveStrings();
    ASSERT_TRUE(list);
    const DWORD mask = ::GetLogicalDrives();
    std::string expected;
    for (int i = 0; i < 26; ++i)
        if (mask & (1u << i)) expected += std::string(1, static_cast<char>('A' + i)) + ":\\" + '\0';
    EXPECT_EQ(*list, expected);
    EXPECT_NE(list->find(platform::ControllerAppDrive() + '\0'), std::string::npos);
}

TEST_F(Files, FreeSpaceIsReadPerVolume) {
    const auto here = platform::DiskSpaceOf(dir.Slash());
    ASSERT_TRUE(here);
    EXPECT_GT(here->freeBytes, 0);
    EXPECT_FALSE(here->volume.empty());
    // A folder below, written with either separator, lies on the same volume.
    ::CreateDirectoryW(win32::Widen(At("sub")).c_str(), nullptr);
    const auto below = platform::DiskSpaceOf(At("sub"));
    ASSERT_TRUE(below);
    EXPECT_EQ(below->volume, here->volume);
    EXPECT_FALSE(platform::DiskSpaceOf(At("missing\\deeper\\")));
    EXPECT_FALSE(platform::DiskSpaceOf(""));
}

// The registry values of the remembered settings, under a key of this test's own.
class UserSettings : public ::testing::Test {
  protected:
    void TearDown() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, win32::Widen(key).c_str()); }
    void SetRaw(const wchar_t* name, DWORD type, const void* data, DWORD bytes) {
        HKEY k = nullptr;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, win32::Widen(key).c_str(), 0, nullptr, 0,
                                    KEY_SET_VALUE, nullptr, &k, nullptr),
                  ERROR_SUCCESS);
        ::RegSetValueExW(k, name, 0, type, static_cast<const BYTE*>(data), bytes);
        ::RegCloseKey(k);
    }
    const std::string key = "Software\\WirepaceTest\\" + std::to_string(::GetCurrentProcessId());
};

TEST_F(UserSettings, StringValuesComeBackAndAnythingElseIsIgnored) {
    EXPECT_TRUE(platform::ReadUserSettings(key).empty());
    const std::map<std::string, std::string> values = {{"Target", "\\\\srv\\b\xC3\xA4nch"},
                                                       {"Account", ""}};
    platform::WriteUserSettings(key, values);
    EXPECT_EQ(platform::ReadUserSettings(key), values);
    EXPECT_EQ(platform::UserSettingsLocation(), "Software\\Wirepace");

    // A number where a text belongs: the whole store is foreign.
    const DWORD number = 5;
    SetRaw(L"SpeedEntry", REG_DWORD, &number, sizeof number);
    EXPECT_TRUE(platform::ReadUserSettings(key).empty());
    // A text far longer than any path.
    const std::wstring huge(40000, L'x');
    SetRaw(L"SpeedEntry", REG_SZ, huge.c_str(), static_cast<DWORD>((huge.size() + 1) * 2));
    EXPECT_TRUE(platform::ReadUserSettings(key).empty());
    SetRaw(L"SpeedEntry", REG_SZ, L"T1", 3 * 2);
    EXPECT_EQ(platform::ReadUserSettings(key).at("SpeedEntry"), "T1");
}

TEST(Errors, ReportGoesToStandardErrorWhenNoBoxIsWanted) {
    ::testing::internal::CaptureStderr();
    platform::ReportError("File not found [53]");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "File not found [53]\n");
}

}  // namespace
}  // namespace wirepace
