// SPDX-License-Identifier: MIT
// Whole runs of the engine with real drones, followed through a recording observer.
#include "core/run_engine.h"

#include <sys/mount.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <sstream>

#include "common/number_format.h"
#include "common/pause.h"
#include "core/catalogue.h"
#include "core/connection_settings.h"
#include "core/drone_fleet.h"
#include "core/free_space.h"
#include "platform/platform.h"
#include "support/child_process.h"
#include "support/recording_observer.h"
#include "support/temp_dir.h"

namespace wirepace {
namespace {

using testing::RecordingObserver;
using testing::TempDir;

class Engine : public ::testing::Test {
  protected:
    void SetUp() override {
        settings = *SettingsFor(kWanType, "<256");
        settings.testName = "Seq";
        settings.target = target.Path().string();
        environment.workRoot = root.Slash();
        environment.logPath = logs.Slash() + "TestResults.txt";
        // Without the half second before each test, which nothing here looks at.
        environment.pauseBeforeTestSeconds = 0;
        previousHook = SetPumpHook([this] {
            if (onPump) onPump();
        });
    }
    void TearDown() override { SetPumpHook(previousHook); }

    RunResult Run() {
        observer = RecordingObserver{};
        stop.Reset();
        return RunBenchmark(settings, environment, observer, stop);
    }
    std::vector<std::string> LogLines() const {
        std::vector<std::string> lines;
        std::istringstream in(testing::ReadFile(environment.logPath));
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
    void ExpectNothingLeft() const {
        EXPECT_TRUE(testing::Entries(root.Path()).empty());
        EXPECT_TRUE(testing::Entries(target.Path()).empty());
        EXPECT_TRUE(testing::ProcessesRunningFrom(root.Slash()).empty());
    }
    int RunningTest() const { return observer.CurrentTest(); }

    TempDir root, target, logs;
    RunSettings settings;
    RunEnvironment environment;
    RecordingObserver observer;
    StopToken stop;
    std::function<void()> onPump;
    PumpHook previousHook;
};

TEST_F(Engine, CompleteRunEventsResultAndLog) {
    const RunResult result = Run();
    EXPECT_EQ(result.outcome, RunOutcome::Finished);
    EXPECT_EQ(result.target, target.Slash());  // normalised
    EXPECT_EQ(observer.shownDir, target.Slash());
    EXPECT_TRUE(result.settings.password.empty());

    // The events, in order: the banner, the target, the connection test, then per test its
    // start, its status and its result; the note after the first result it concerns; the end.
    std::vector<std::string> expected = {"started", "log", "target:" + target.Slash(),
                                         "status:Testing Connection..."};
    for (int i = 0; i < kTestCount; ++i) {
        expected.push_back("test:" + std::to_string(i));
        expected.push_back("status:" + TestName(i) + " (" + TestId(i) + ")");
        expected.push_back("result:" + std::to_string(i));
        if (i == 6) expected.push_back("note");
    }
    expected.push_back("finished");
    std::vector<std::string> events = observer.events;  // progress is checked on its own
    std::erase(events, "progress");
    EXPECT_EQ(events, expected);
    EXPECT_EQ(observer.notes,
              std::vector<std::string>{"target is a local disk: no network diagnosis"});
    EXPECT_EQ(result.note, observer.notes.front());
    EXPECT_EQ(observer.startedBytes[1], 160 * 1024);
    EXPECT_EQ(observer.startedBytes[7], 5 * 160 * 1024);

    const auto lines = LogLines();
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines[0].rfind("-- Starting Seq test at ", 0), 0u);
    EXPECT_EQ(lines[0], observer.logLines[0] + "\r");
    ASSERT_EQ(result.tests.size(), 9u);
    for (int i = 0; i < kTestCount; ++i) {
        const TestResult& t = result.tests[static_cast<std::size_t>(i)];
        const auto& line = lines[static_cast<std::size_t>(i) + 1];
        EXPECT_EQ(line, t.logLine + "\r");
        EXPECT_EQ(line.rfind("\"Seq\", \"" + target.Slash() + "\", ", 0), 0u) << line;
        EXPECT_NE(line.find(", " + TestId(i) + ", " + NumberToText(t.ms) + ", " +
                            NumberToText(t.speed) + ", \"\""),
                  std::string::npos)
            << line;
        EXPECT_EQ(t.index, i);
        EXPECT_EQ(t.ms, RoundHalfEven(t.exactMs));
        EXPECT_TRUE(t.comment.empty());
    }
    EXPECT_EQ(result.tests[0].sizeMB, 0.016);
    EXPECT_EQ(result.tests[1].sizeMB, 0.156);
    EXPECT_EQ(result.tests[6].sizeMB, 0.312);  // 2 x 160 KB is 0.3125: the half goes to even
    EXPECT_EQ(result.tests[7].sizeMB, 0.781);  // 5 x 160 KB
    EXPECT_EQ(result.tests[8].bytes, 5 * 163840);

    // Each drone's own time is kept, and the longest is the test's.
    EXPECT_EQ(result.tests[6].droneMs.size(), 2u);
    EXPECT_EQ(result.tests[7].droneMs.size(), 5u);
    EXPECT_EQ(result.tests[8].droneMs.size(), 5u);
    EXPECT_TRUE(result.tests[5].droneMs.empty());
    for (int i = 6; i <= 8; ++i) {
        const auto& times = result.tests[static_cast<std::size_t>(i)].droneMs;
        EXPECT_EQ(*std::max_element(times.begin(), times.end()),
                  result.tests[static_cast<std::size_t>(i)].exactMs);
    }
    ExpectNothingLeft();
}

TEST_F(Engine, ProgressIsReportedInOrderAndTheSamplesAddUpToEachTestsBytes) {
    // Pieces of a megabyte at 300 ms each: several reports per test, samples over seconds.
    settings = *SettingsFor(kWanType, ">T1");
    settings.testName = "Samples";
    settings.target = target.Path().string();
    environment.slowLinkMsPerMiB = 300;
    const RunResult result = Run();
    ASSERT_EQ(result.outcome, RunOutcome::Finished);
    for (const TestResult& t : result.tests) {
        double sum = 0;
        for (double bytes : t.intervals) sum += bytes;
        EXPECT_EQ(sum, t.bytes) << t.id;
        for (std::size_t d = 0; d < t.droneIntervals.size(); ++d) {
            double drone = 0;
            for (double bytes : t.droneIntervals[d]) drone += bytes;
            EXPECT_EQ(drone, t.bytes / static_cast<double>(t.droneIntervals.size())) << t.id;
        }
        EXPECT_EQ(t.droneIntervals.size(), static_cast<std::size_t>(DronesOf(t.index))) << t.id;
        // The samples span the test's time: every one a whole second but the last.
        const double n = static_cast<double>(t.intervals.size());
        EXPECT_GE(t.samplesMs, (n - 1) * kSampleIntervalMs) << t.id;
        EXPECT_LE(t.samplesMs, n * kSampleIntervalMs) << t.id;
    }
    // Test 4 takes four pieces, over a second: more than one sample.
    EXPECT_GE(result.tests[4].intervals.size(), 2u);
    // Within a test the bytes and the time never go back; each test's reports end at its bytes.
    int index = -1;
    double bytes = 0, elapsed = 0;
    for (const TestProgress& p : observer.progress) {
        if (p.index != index) {
            index = p.index;
            bytes = elapsed = 0;
        }
        EXPECT_GE(p.bytes, bytes) << p.id;
        EXPECT_GE(p.elapsedMs, elapsed) << p.id;
        EXPECT_LE(p.bytes, p.totalBytes) << p.id;
        bytes = p.bytes;
        elapsed = p.elapsedMs;
    }
    for (const TestResult& t : result.tests) {
        const auto last = std::find_if(observer.progress.rbegin(), observer.progress.rend(),
                                       [&](const TestProgress& p) { return p.index == t.index; });
        ASSERT_NE(last, observer.progress.rend()) << t.id;
        EXPECT_EQ(last->bytes, t.bytes) << t.id;
    }
    // The reports come between a test's start and its result.
    const auto& e = observer.events;
    const auto started = std::find(e.begin(), e.end(), "test:4");
    const auto recorded = std::find(e.begin(), e.end(), "result:4");
    EXPECT_GE(std::count(started, recorded, "progress"), 3);
    ExpectNothingLeft();
}

TEST_F(Engine, StopIsSeenBeforeTheNextTestAndNothingOfItIsRecorded) {
    // Nothing is pumped while test 3 copies, so a stop made then is seen at the first pump
    // after it: the pause before test 4, whose status is already shown.
    bool sawTest3 = false;
    onPump = [&] {
        if (RunningTest() == 3) sawTest3 = true;
        if (sawTest3 && RunningTest() == 4) stop.Request();
    };
    const RunResult result = Run();
    EXPECT_EQ(result.outcome, RunOutcome::Interrupted);
    ASSERT_EQ(result.tests.size(), 4u);  // tests 1a, 1b, 2 and 3 recorded
    const auto lines = LogLines();
    ASSERT_EQ(lines.size(), 1u + 4u);
    EXPECT_NE(lines.back().find(", 3, "), std::string::npos);
    EXPECT_EQ(observer.events.back(), "finished");
    EXPECT_EQ(observer.events[observer.events.size() - 2], "status:" + TestName(4) + " (4)");
    EXPECT_TRUE(result.errorLines.empty());
    ExpectNothingLeft();
}

// Stops the run from inside a copy: when test `index` has reported some but not all bytes.
class StopMidCopy : public RecordingObserver {
  public:
    StopMidCopy(StopToken& stop, int index) : stop_(stop), index_(index) {}
    void Progress(const TestProgress& p) override {
        RecordingObserver::Progress(p);
        if (p.index == index_ && p.bytes > 0 && p.bytes < p.totalBytes && !stop_.Requested()) {
            stop_.Request();
            bytesAtStop = p.bytes;
        }
    }
    double bytesAtStop = -1;

  private:
    StopToken& stop_;
    int index_;
};

TEST_F(Engine, StopInTheMiddleOfACopyAbandonsItWithinAPiece) {
    // Test 4 copies 3.5 MB in 1 MiB pieces, each followed by a pause as on a slow link.
    settings = *SettingsFor(kWanType, ">T1");
    settings.testName = "Slow";
    settings.target = target.Path().string();
    environment.slowLinkMsPerMiB = 300;
    StopMidCopy observer(stop, 4);
    const RunResult result = RunBenchmark(settings, environment, observer, stop);
    EXPECT_EQ(result.outcome, RunOutcome::Interrupted);
    ASSERT_GT(observer.bytesAtStop, 0);
    // The copy went no further than the piece under way when the stop came.
    double lastBytes = 0;
    for (const TestProgress& p : observer.progress)
        if (p.index == 4) lastBytes = p.bytes;
    EXPECT_LE(lastBytes, observer.bytesAtStop + (1 << 20));
    EXPECT_LT(lastBytes, 3500.0 * 1024);
    ASSERT_EQ(result.tests.size(), 4u);  // test 4 cut short is not recorded
    EXPECT_EQ(result.tests.back().index, 3);
    ExpectNothingLeft();
}

TEST_F(Engine, StopDuringADroneWaitEndsTheRunWithoutThatTest) {
    bool stopped = false;
    onPump = [&] {
        // While test 8's drones are being waited for.
        if (RunningTest() == 8 && std::filesystem::exists(root.Path() / "GO.txt")) {
            stop.Request();
            stopped = true;
        }
    };
    const RunResult result = Run();
    ASSERT_TRUE(stopped);
    EXPECT_EQ(result.outcome, RunOutcome::Interrupted);
    const auto lines = LogLines();
    ASSERT_EQ(lines.size(), 1u + 8u);  // tests 1a to 7; test 8 is not recorded
    EXPECT_NE(lines.back().find(", 7, "), std::string::npos);
    EXPECT_EQ(result.tests.back().index, 7);
    ExpectNothingLeft();
}

TEST_F(Engine, ErrorsNameTheirNumberAndPathAndAdviseOnTheTarget) {
    // A folder that does not exist is named; the log line keeps its "-- Error: ... --" shape.
    settings.target = target.Slash() + "missing";
    RunResult result = Run();
    EXPECT_EQ(result.outcome, RunOutcome::Error);
    EXPECT_EQ(result.errorNumber, 76);
    const std::string missing = "-- Error: Path not found [76]: " + target.Slash() + "missing/ --";
    auto lines = LogLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], missing + "\r");
    EXPECT_EQ(result.errorLines,
              (std::vector<std::string>{
                  missing, "Please check target folder (spelling, permissions, etc.)"}));
    EXPECT_EQ(observer.logLines.back(), missing);
    EXPECT_EQ(observer.messages.back(), result.errorLines.back());
    ExpectNothingLeft();

    // A file vanishing from the target mid-run is "File not found", which says the connection
    // failed.
    settings.target = target.Path().string();
    onPump = [&] {
        if (RunningTest() == 3) std::filesystem::remove(target.Path() / "Test16.jnk");
    };
    result = Run();
    EXPECT_EQ(result.outcome, RunOutcome::Error);
    EXPECT_EQ(LogLines().back(),
              "-- Error: File not found [53]: " + target.Slash() + "Test16.jnk --\r");
    EXPECT_EQ(result.errorLines.back(), "Failed to establish a connection.");
    ExpectNothingLeft();

    // The same number for a file of this machine's work root is no connection's fault.
    onPump = [&] {
        if (RunningTest() == 3) std::filesystem::remove(root.Path() / "Test16.jnk");
    };
    result = Run();
    EXPECT_EQ(result.outcome, RunOutcome::Error);
    EXPECT_EQ(result.errorNumber, 53);
    EXPECT_EQ(result.errorLines, std::vector<std::string>{"-- Error: File not found [53]: " +
                                                          root.Slash() + "Test16.jnk --"});
    ExpectNothingLeft();
}

TEST_F(Engine, UnreachableShareAndRelativePathAreRefusedClearly) {
    // A share that cannot be mapped ends the run at the mapping, saying why: the server is
    // unknown, or (on a machine without them) smbnetfs or FUSE is missing. Nothing of the
    // mapping is left, and the next run starts normally.
    settings.target = "//nosuchhost.invalid/share";
    RunResult result = Run();
    EXPECT_EQ(result.outcome, RunOutcome::Error);
    const std::string line = LogLines().back();
    EXPECT_TRUE(line.find("nosuchhost.invalid is unknown [53] --") != std::string::npos ||
                line.find("smbnetfs") != std::string::npos ||
                line.find("FUSE") != std::string::npos)
        << line;
    EXPECT_NE(
        std::find(observer.statuses.begin(), observer.statuses.end(), "Establishing connection..."),
        observer.statuses.end());
    // Whatever number the system gave the reason, the results say both: the reason, and that
    // the connection failed.
    EXPECT_EQ(result.errorLines.front() + "\r", line);
    EXPECT_EQ(result.errorLines.back(), "Failed to establish a connection.");
    settings.password = "secret";  // without an account: refused before it reaches a server
    result = Run();
    EXPECT_EQ(result.errorLines,
              (std::vector<std::string>{"-- Error: A password was given without an account name "
                                        "for the share [75] --",
                                        "Failed to establish a connection."}));
    settings.password.clear();

    settings.target = "relative/folder";
    result = Run();
    EXPECT_EQ(result.outcome, RunOutcome::Error);
    EXPECT_NE(LogLines().back().find("full path"), std::string::npos);
    ExpectNothingLeft();
}

TEST_F(Engine, SettingsThatWouldBreakTheLogAreRefusedBeforeAnythingRuns) {
    // A name with CR LF once forged a complete result line of its own.
    const std::string forged =
        "x\r\n\"Fake\", \"/srv/\", 2020/01/01, 00:00:00.120, 4, 1, 99999, \"\"";
    const std::vector<std::array<std::string, 3>> cases = {
        {forged, target.Path().string(), ""},
        {"Fake\", \"/srv/\", 2020/01/01", target.Path().string(), ""},
        {"Seq", target.Slash() + "a\nb", ""},
        {"Seq", target.Slash() + "why?", ""},
        {"Seq", target.Path().string(), "jo\t"},
    };
    for (const auto& [name, dir, account] : cases) {
        settings.testName = name;
        settings.target = dir;
        settings.account = account;
        try {
            Run();
            ADD_FAILURE() << "accepted " << dir;
        } catch (const SettingsError& e) {
            EXPECT_NE(std::string(e.what()).find("must not contain"), std::string::npos);
        }
        EXPECT_TRUE(observer.events.empty());
    }
    settings = RunSettings{};
    settings.testName = "Seq";
    settings.target = target.Path().string();
    EXPECT_THROW(Run(), SettingsError);  // no sizes chosen
    EXPECT_FALSE(std::filesystem::exists(environment.logPath));
    ExpectNothingLeft();
}

// Swaps a folder of the run for a symbolic link to a decoy folder at the start of one test, or
// once its result is in: the folder itself, with whatever the run made in it, moves aside.
class SwapFolder : public RecordingObserver {
  public:
    SwapFolder(std::filesystem::path folder, std::filesystem::path decoy,
               std::filesystem::path aside, int test, bool afterResult)
        : folder_(std::move(folder)),
          decoy_(std::move(decoy)),
          aside_(std::move(aside)),
          test_(test),
          afterResult_(afterResult) {}
    void TestStarted(int index, const std::string& id, const std::string& name,
                     double bytes) override {
        RecordingObserver::TestStarted(index, id, name, bytes);
        if (!afterResult_ && index == test_) Swap();
    }
    void ResultRecorded(const TestResult& result) override {
        RecordingObserver::ResultRecorded(result);
        if (afterResult_ && result.index == test_) Swap();
    }
    bool swapped = false;

  private:
    void Swap() {
        std::filesystem::rename(folder_, aside_);
        std::filesystem::create_directory_symlink(decoy_, folder_);
        swapped = true;
    }
    std::filesystem::path folder_, decoy_, aside_;
    int test_;
    bool afterResult_;
};

TEST_F(Engine, AFolderSwappedForALinkMidRunIsNeitherWrittenNorSweptThrough) {
    struct Case {
        bool workRoot;  // the work root is swapped, otherwise the target
        int test;
        bool afterResult;
    };
    // After the last result (only the sweep is left), before the drones copy to the target,
    // and before the drones are written to the work root.
    for (const Case c : {Case{false, 8, true}, Case{false, 7, false}, Case{true, 6, false}}) {
        SCOPED_TRACE(std::string(c.workRoot ? "work root" : "target") + " at test " +
                     std::to_string(c.test));
        TempDir base, decoy;
        const auto folder = base.Path() / "folder";
        const auto aside = base.Path() / "aside";
        std::filesystem::create_directory(folder);
        const std::string folderText = folder.string() + "/";
        // Files named like the run's own, which the decoy's owner keeps.
        const std::vector<std::string> names = {
            "Test16.jnk",      "Test160.jnk",    "1Test160.jnk",      "5Test160.jnk",
            "Test10240.jnk",   "3Test10240.jnk", "wirepace-run.lock", "Drone1.exe",
            "TXT1Test160.jnk", "GO.txt",         "TERMDRONES.txt"};
        for (const auto& name : names) testing::WriteFile(decoy.Path() / name, "kept " + name);

        TempDir otherRoot;
        if (c.workRoot) {
            environment.workRoot = folderText;
            settings.target = target.Path().string();
        } else {
            environment.workRoot = otherRoot.Slash();
            settings.target = folder.string();
        }
        SwapFolder swapping(folder, decoy.Path(), aside, c.test, c.afterResult);
        const RunResult result = RunBenchmark(settings, environment, swapping, stop);
        ASSERT_TRUE(swapping.swapped);

        // Not "Finished": the run says which folder changed under it, and the log says it too.
        EXPECT_EQ(result.outcome, RunOutcome::Error);
        ASSERT_FALSE(result.errorLines.empty());
        EXPECT_NE(result.errorLines.front().find("The folder " + folderText), std::string::npos)
            << result.errorLines.front();
        EXPECT_EQ(LogLines().back(), result.errorLines.front() + "\r");
        EXPECT_EQ(result.tests.size(), static_cast<std::size_t>(c.afterResult ? 9 : c.test));

        // The decoy is as it was; the run's own files went from the folder it opened.
        EXPECT_EQ(testing::Entries(decoy.Path()).size(), names.size());
        for (const auto& name : names)
            EXPECT_EQ(testing::ReadFile(decoy.Path() / name), "kept " + name) << name;
        EXPECT_EQ(testing::Entries(aside), std::vector<std::string>{});
        EXPECT_TRUE(testing::Entries(c.workRoot ? target.Path() : otherRoot.Path()).empty());
        EXPECT_TRUE(testing::ProcessesRunningFrom(environment.workRoot).empty());
        EXPECT_TRUE(testing::ProcessesRunningFrom(aside.string() + "/").empty());
        std::filesystem::remove(folder);  // the link
    }
}

// Plants something the final sweep cannot remove once the last result is in.
class BlockCleanup : public RecordingObserver {
  public:
    explicit BlockCleanup(std::filesystem::path blocker) : blocker_(std::move(blocker)) {}
    void ResultRecorded(const TestResult& result) override {
        RecordingObserver::ResultRecorded(result);
        if (result.index == 8) std::filesystem::create_directory(blocker_);
    }

  private:
    std::filesystem::path blocker_;
};

TEST_F(Engine, ACleanupThatFailsEndsTheRunInAnErrorNeverFinished) {
    const auto blocker = target.Path() / "Test160.jnk";
    BlockCleanup watching(blocker);
    const RunResult result = RunBenchmark(settings, environment, watching, stop);
    EXPECT_EQ(result.tests.size(), 9u);  // every test ran
    EXPECT_EQ(result.outcome, RunOutcome::Error);
    EXPECT_EQ(result.errorNumber, 75);
    ASSERT_FALSE(result.errorLines.empty());
    EXPECT_NE(result.errorLines.front().find(blocker.string()), std::string::npos)
        << result.errorLines.front();
    // The log says so too, after the results.
    EXPECT_EQ(LogLines().back(), result.errorLines.front() + "\r");
    EXPECT_EQ(watching.alerts.size(), 1u);
    std::filesystem::remove(blocker);
    ExpectNothingLeft();
}

TEST_F(Engine, StaleHandshakeFilesDoNotStopTheDrones) {
    testing::WriteFile(root.Path() / "TERMDRONES.txt", "");
    testing::WriteFile(root.Path() / "GO.txt", "");
    EXPECT_EQ(Run().outcome, RunOutcome::Finished);
    ExpectNothingLeft();
}

TEST_F(Engine, ANetworkTargetWithTimingsTooShortToJudgeSaysSo) {
    environment.isNetworkFolder = [](const std::string&) { return true; };
    const RunResult result = Run();
    ASSERT_EQ(result.outcome, RunOutcome::Finished);
    EXPECT_TRUE(result.targetIsRemote);
    EXPECT_EQ(result.targetFileSystem, platform::FileSystemType(target.Slash()));
    EXPECT_FALSE(result.targetFileSystem.empty());
    // The tiny WAN files copy in well under 50 ms on one machine.
    for (const auto& t : result.tests) EXPECT_EQ(t.comment, "");
    EXPECT_NE(result.note.find("took under 50 ms: too short to judge"), std::string::npos)
        << result.note;
}

TEST_F(Engine, WhatAKilledRunLeftIsSweptAndNeverReadAsThisRunsResults) {
    // Result files that would give test 6 a time of 99999 ms, work files of other sizes, a
    // stop file that would stop the drones, and a half-written test file.
    for (int n = 1; n <= 5; ++n)
        testing::WriteFile(root.Path() / ("TXT" + std::to_string(n) + "Test160.jnk"),
                           " 99999 \r\n");
    testing::WriteFile(root.Path() / "3Test10240.jnk", "old");
    testing::WriteFile(root.Path() / "Drone4.exe", "old");
    testing::WriteFile(root.Path() / "TERMDRONES.txt", "");
    testing::WriteFile(root.Path() / "Test16.jnk", "half");
    testing::WriteFile(target.Path() / "2Test1600.jnk", "old");
    const RunResult result = Run();
    EXPECT_EQ(result.outcome, RunOutcome::Finished);
    for (const auto& t : result.tests) EXPECT_NE(t.ms, 99999);
    ExpectNothingLeft();
}

TEST_F(Engine, PlantedLinksAreNeverFollowed) {
    TempDir outside;
    const auto victim = outside.Path() / "victim";
    testing::WriteFile(victim, "precious");
    // In the work root, links under every name the run writes are removed, not followed.
    for (const char* name :
         {"Test16.jnk", "Test160.jnk", "1Test160.jnk", "5Test160.jnk", "TXT1Test160.jnk",
          "ERR2Test160.jnk", "Drone1.exe", "GO.txt", "TERMDRONES.txt"})
        std::filesystem::create_symlink(victim, root.Path() / name);
    EXPECT_EQ(Run().outcome, RunOutcome::Finished);
    EXPECT_EQ(testing::ReadFile(victim), "precious");
    ExpectNothingLeft();

    // In the target a link under a work-file name ends the run before anything is written.
    for (const char* name : {"Test16.jnk", "1Test160.jnk"}) {
        std::filesystem::create_symlink(victim, target.Path() / name);
        EXPECT_EQ(Run().outcome, RunOutcome::Error);
        EXPECT_NE(LogLines().back().find(std::string(name) + " is a symbolic link"),
                  std::string::npos)
            << LogLines().back();
        EXPECT_EQ(testing::ReadFile(victim), "precious");
        EXPECT_EQ(testing::Entries(target.Path()), std::vector<std::string>{name});
        EXPECT_TRUE(observer.alerts.empty()) << "the refusal was reported twice";
        std::filesystem::remove(target.Path() / name);
    }
    EXPECT_EQ(testing::Entries(outside.Path()), std::vector<std::string>{"victim"});
}

TEST_F(Engine, ASecondControllerOnTheSameTargetIsRefusedBeforeItTouchesAnything) {
    // A live run of this machine holds the target (process 1 always runs).
    const auto lock = target.Path() / "wirepace-run.lock";
    testing::WriteFile(lock, platform::HostName() + " 1\r\n");
    testing::WriteFile(target.Path() / "Test16.jnk", "the other run's");
    EXPECT_EQ(Run().outcome, RunOutcome::Error);
    EXPECT_NE(LogLines().back().find("Another run is testing this folder: " + lock.string()),
              std::string::npos)
        << LogLines().back();
    EXPECT_EQ(testing::ReadFile(target.Path() / "Test16.jnk"), "the other run's");
    EXPECT_TRUE(std::filesystem::exists(lock));

    // A lock left by a dead run is taken over, and released at the end.
    testing::WriteFile(lock, platform::HostName() + " 999999999\r\n");
    std::filesystem::remove(target.Path() / "Test16.jnk");
    EXPECT_EQ(Run().outcome, RunOutcome::Finished);
    ExpectNothingLeft();
}

TEST_F(Engine, ADronesOwnCauseReachesTheLog) {
    onPump = [&] {
        // Before test 8's drones start, drone 3's source on the target goes missing.
        if (RunningTest() == 8 && !std::filesystem::exists(root.Path() / "GO.txt"))
            std::filesystem::remove(target.Path() / "3Test160.jnk");
    };
    EXPECT_EQ(Run().outcome, RunOutcome::Error);
    EXPECT_EQ(LogLines().back(), "-- Error: Drone 3: File not found reading " + target.Slash() +
                                     "3Test160.jnk [53] --\r");
    ExpectNothingLeft();
}

// A small file system in memory over `folder` for the life of the object (root only).
class SmallDisk {
  public:
    SmallDisk(const std::filesystem::path& folder, const char* options, unsigned long flags = 0)
        : folder_(folder) {
        mounted_ = ::mount("wirepace-test", folder.c_str(), "tmpfs", flags, options) == 0;
    }
    ~SmallDisk() {
        if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;
    bool Mounted() const { return mounted_; }

  private:
    std::filesystem::path folder_;
    bool mounted_ = false;
};

TEST_F(Engine, ADronesFullDiskReachesTheLogWithItsFile) {
    // Room for the controller's own copies, not for test 7's five drones at once; the disk
    // says nothing of its size (as some network file systems), so the run is not refused
    // before it starts and finds out at test 7.
    SmallDisk disk(target.Path(), "size=600k");
    if (!disk.Mounted()) GTEST_SKIP() << "mounting a small disk needs root";
    environment.diskSpace = [](const std::string&) { return std::nullopt; };
    EXPECT_EQ(Run().outcome, RunOutcome::Error);
    const std::string last = LogLines().back();
    EXPECT_EQ(last.rfind("-- Error: Drone ", 0), 0u) << last;
    EXPECT_NE(last.find(": Disk full writing " + target.Slash()), std::string::npos) << last;
    EXPECT_NE(last.find("Test160.jnk [61] --"), std::string::npos) << last;
    ExpectNothingLeft();
}

TEST_F(Engine, ARunWithoutRoomIsRefusedBeforeItWritesAndSaysBothNumbers) {
    // Five copies of the 160 KB file in the target (800 KB, 0.8 MB rounded up), 700 KB free.
    std::map<std::string, platform::DiskSpace> disks = {
        {root.Slash(), {std::int64_t{1} << 40, "work"}}, {target.Slash(), {700 * 1024, "target"}}};
    environment.diskSpace = [&](const std::string& dir) -> std::optional<platform::DiskSpace> {
        const auto found = disks.find(dir);
        if (found == disks.end()) return std::nullopt;
        return found->second;
    };
    auto expectRefused = [&](const std::string& description) {
        const RunResult result = Run();
        EXPECT_EQ(result.outcome, RunOutcome::Error);
        EXPECT_EQ(result.errorNumber, kErrDiskFull);
        EXPECT_EQ(result.errorDescription, description);
        EXPECT_EQ(LogLines().back(), "-- Error: " + description + " [61] --\r");
        EXPECT_TRUE(observer.startedTests.empty()) << "a test ran";
        EXPECT_EQ(
            std::count(observer.statuses.begin(), observer.statuses.end(), "Testing Connection..."),
            0);
        ExpectNothingLeft();
    };
    expectRefused("Not enough free space in " + target.Slash() +
                  ": the run needs 0.8 MB, 0.6 MB are free");

    // One file system under both: it must take the work root's copies and drones as well.
    const SpaceNeeded need = SpaceNeededFor(settings, 1000);
    EXPECT_EQ(need.targetBytes, 5 * 160 * 1024);
    EXPECT_EQ(need.workRootBytes, 5 * 160 * 1024 + 5 * 1000);
    disks[root.Slash()] = {2 << 20, "one"};
    disks[target.Slash()] = {2 << 20, "one"};
    expectRefused(
        "Not enough free space in " + root.Slash() + " and " + target.Slash() +
        " (one file system): the run needs " +
        MegabytesText(SpaceNeededFor(settings, static_cast<std::int64_t>(EmbeddedDroneImage().size))
                              .workRootBytes +
                          need.targetBytes,
                      true) +
        ", 2.0 MB are free");

    // Where the free space cannot be read, the run is not refused on a guess: it says so.
    disks.clear();
    EXPECT_EQ(Run().outcome, RunOutcome::Finished);
    EXPECT_EQ(observer.messages,
              (std::vector<std::string>{"The free space in " + root.Slash() +
                                            " cannot be read: not checked before the run.",
                                        "The free space in " + target.Slash() +
                                            " cannot be read: not checked before the run."}));
    ExpectNothingLeft();
}

TEST_F(Engine, ASmallDiskIsRefusedAtTheStartNotAtTest7) {
    SmallDisk disk(target.Path(), "size=600k");
    if (!disk.Mounted()) GTEST_SKIP() << "mounting a small disk needs root";
    EXPECT_FALSE(platform::DiskSpaceOf(target.Slash() + "missing/"));
    const RunResult result = Run();
    EXPECT_EQ(result.outcome, RunOutcome::Error);
    EXPECT_EQ(result.errorNumber, kErrDiskFull);
    EXPECT_TRUE(observer.startedTests.empty());
    EXPECT_EQ(LogLines().back(),
              "-- Error: Not enough free space in " + target.Slash() + ": the run needs 0.8 MB, " +
                  MegabytesText(platform::DiskSpaceOf(target.Slash())->freeBytes, false) +
                  " are free [61] --\r");
    ExpectNothingLeft();
}

TEST_F(Engine, AWorkRootWhereProgramsCannotRunSaysSo) {
    SmallDisk disk(root.Path(), "size=64m", MS_NOEXEC);
    if (!disk.Mounted()) GTEST_SKIP() << "mounting a small disk needs root";
    EXPECT_EQ(Run().outcome, RunOutcome::Error);
    EXPECT_NE(LogLines().back().find("Programs cannot be started from " + root.Path().string() +
                                     ": its file system is mounted noexec"),
              std::string::npos)
        << LogLines().back();
    ExpectNothingLeft();
}

}  // namespace
}  // namespace wirepace
