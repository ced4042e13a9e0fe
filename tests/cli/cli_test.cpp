// SPDX-License-Identifier: MIT
// The real wirepace-cli against temporary folders.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/report.h"
#include "core/catalogue.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

namespace wirepace {
namespace {

using testing::ChildProcess;
using testing::TempDir;

class Cli : public ::testing::Test {
  protected:
    std::map<std::string, std::string> Env() const {
        // Without the half second before each test, which nothing here looks at.
        return {{"XDG_CACHE_HOME", home.Slash() + "cache"},
                {"XDG_DATA_HOME", home.Slash() + "data"},
                {"LC_ALL", "C"},
                {"WIREPACE_TEST_PAUSE_BEFORE_TEST_S", "0"}};
    }
    std::vector<std::string> Args(std::vector<std::string> extra) const {
        extra.insert(extra.begin(), WIREPACE_CLI_PATH);
        return extra;
    }
    std::string WorkRoot() const { return home.Slash() + "cache/wirepace/"; }
    std::string LogPath() const { return home.Slash() + "data/wirepace/TestResults.txt"; }
    std::vector<std::string> LogLines() const {
        std::vector<std::string> lines;
        std::istringstream in(testing::ReadFile(LogPath()));
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
    // Nothing of a run may stay behind: only the lock file and the empty default target.
    void ExpectNothingLeft(const std::filesystem::path& target) const {
        for (const auto& name : testing::Entries(WorkRoot()))
            EXPECT_TRUE(name == "wirepace.lock" || name == "target") << name << " left behind";
        EXPECT_TRUE(testing::Entries(target).empty());
        EXPECT_TRUE(testing::ProcessesRunningFrom(WorkRoot()).empty());
    }

    TempDir home, target;
};

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

TEST_F(Cli, JsonRunWithRepeatsAgreesWithItsFigures) {
    ChildProcess cli(Args({"--name", "json run", "--dir", target.Path().string(), "--format",
                           "json", "--repeat", "3"}),
                     Env());
    ASSERT_EQ(cli.Wait(180), 0) << cli.Err();
    const auto doc = nlohmann::json::parse(cli.Out());
    EXPECT_EQ(doc["settings"]["name"], "json run");
    EXPECT_EQ(doc["settings"]["speed"], "<256");
    ASSERT_EQ(doc["runs"].size(), 3u);
    for (const auto& run : doc["runs"]) {
        EXPECT_EQ(run["status"], "Finished");
        ASSERT_EQ(run["tests"].size(), 9u);
        EXPECT_EQ(run["tests"][0]["id"], "1a");
        EXPECT_EQ(run["tests"][0]["bytes"], 16384);
        EXPECT_EQ(run["tests"][1]["bytes"], 163840);
        EXPECT_EQ(run["tests"][6]["bytes"], 2 * 163840);
        EXPECT_EQ(run["tests"][8]["bytes"], 5 * 163840);
        EXPECT_EQ(run["tests"][8]["name"], "INBOUND NETBIOS/TCP WINDOW TEST");
    }
    ASSERT_EQ(doc["summary"].size(), 9u);
    for (std::size_t t = 0; t < 9; ++t) {
        std::vector<double> speeds;
        for (const auto& run : doc["runs"]) speeds.push_back(run["tests"][t]["speed"]);
        std::sort(speeds.begin(), speeds.end());
        EXPECT_EQ(doc["summary"][t]["min"], speeds[0]);
        EXPECT_EQ(doc["summary"][t]["median"], speeds[1]);
        EXPECT_EQ(doc["summary"][t]["max"], speeds[2]);
    }
    // The log holds what the window would have written: a banner and nine lines per run.
    const auto lines = LogLines();
    ASSERT_EQ(lines.size(), 30u);
    EXPECT_EQ(lines[0].rfind("-- Starting json run test at ", 0), 0u);
    EXPECT_NE(lines[9].find(", 8, "), std::string::npos);
    EXPECT_EQ(lines[9].back(), '\r');
    ExpectNothingLeft(target.Path());
    EXPECT_NE(cli.Err().find("Test 9/9 (8): INBOUND NETBIOS/TCP WINDOW TEST"), std::string::npos);
}

TEST_F(Cli, JsonLinesFollowTheRunLiveAndAddUp) {
    // 3.5 MB files copied in pieces of a megabyte with a pause after each, as on a slow link.
    auto env = Env();
    env["WIREPACE_TEST_MS_PER_MIB"] = "150";
    ChildProcess cli(Args({"--name", "live", "--dir", target.Path().string(), "--speed", ">T1",
                           "--format", "jsonl"}),
                     env);
    // Each line is written as it happens, not at the end.
    ASSERT_TRUE(cli.WaitForOutputWhileRunning("\"event\":\"test_started\"", 60)) << cli.Err();
    EXPECT_EQ(cli.Out().find("\"event\":\"finished\""), std::string::npos);
    ASSERT_EQ(cli.Wait(180), 0) << cli.Err();

    std::vector<nlohmann::json> events;
    std::istringstream lines(cli.Out());
    for (std::string line; std::getline(lines, line);)
        events.push_back(nlohmann::json::parse(line));
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events.front()["event"], "run_started");
    EXPECT_EQ(events.back()["event"], "finished");
    EXPECT_EQ(events.back()["status"], "Finished");

    // Per test: started, progress with bytes that never go back, then its result, whose
    // per-second samples add up to its bytes; at least one progress line per second it took.
    int current = -1, results = 0, progressLines = 0;
    double bytes = 0;
    for (const auto& e : events) {
        const std::string kind = e["event"];
        if (kind == "test_started") {
            EXPECT_EQ(e["index"], current + 1);
            current = e["index"];
            bytes = 0;
            progressLines = 0;
        } else if (kind == "progress") {
            EXPECT_EQ(e["index"], current);
            EXPECT_GE(e["bytes"].get<double>(), bytes);
            EXPECT_LE(e["bytes"].get<double>(), e["total_bytes"].get<double>());
            bytes = e["bytes"];
            ++progressLines;
        } else if (kind == "result") {
            EXPECT_EQ(e["index"], current);
            ++results;
            double sum = 0;
            for (double b : e["intervals"]) sum += b;
            EXPECT_EQ(sum, e["bytes"].get<double>()) << e["id"];
            EXPECT_EQ(bytes, e["bytes"].get<double>()) << e["id"];
            EXPECT_GE(progressLines, std::ceil(e["ms_exact"].get<double>() / 1000)) << e["id"];
            if (current >= 6) {
                EXPECT_EQ(e["drone_intervals"].size(), current == 6 ? 2u : 5u);
            }
        }
    }
    EXPECT_EQ(results, 9);
    ExpectNothingLeft(target.Path());
}

TEST_F(Cli, TextAndCsvRunsWithTheDefaultTarget) {
    // The built-in folder with the WAN sizes, to stay quick.
    ChildProcess text(Args({"--name", "text", "--type", "wan"}), Env());
    ASSERT_EQ(text.Wait(120), 0) << text.Err();
    EXPECT_EQ(text.Out().rfind("Finished\n", 0), 0u);
    EXPECT_EQ(Count(text.Out() + text.Err(), "Finished"), 1u) << text.Err();
    EXPECT_EQ(Count(text.Err(), "this machine's own disk"), 1u) << text.Err();
    EXPECT_NE(text.Out().find("OUTBOUND NETBIOS/TCP WINDOW TEST"), std::string::npos);
    EXPECT_NE(LogLines()[1].find("cache/wirepace/target/\""), std::string::npos);
    ExpectNothingLeft(WorkRoot() + "target");

    ChildProcess csv(Args({"--type", "lan", "--dir", target.Path().string(), "--format", "csv"}),
                     Env());
    ASSERT_EQ(csv.Wait(120), 0) << csv.Err();
    std::istringstream rows(csv.Out());
    std::string header, row;
    std::getline(rows, header);
    EXPECT_EQ(header,
              "run,status,test_id,test_name,ms,bytes,speed_kbps,comment,drone1_ms,drone2_ms,"
              "drone3_ms,drone4_ms,drone5_ms");
    int count = 0;
    while (std::getline(rows, row)) {
        ++count;
        EXPECT_EQ(row.rfind("1,Finished,", 0), 0u) << row;
        EXPECT_EQ(Count(row, ","), 12u) << row;
    }
    EXPECT_EQ(count, 9);
    EXPECT_NE(csv.Out().find(",10485760,"), std::string::npos);  // LAN 10mb: 10240 KB large
    ExpectNothingLeft(target.Path());
}

TEST_F(Cli, BadOptionsRunNothing) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--type", "fddi"}, "fddi"},
        {{"--speed", "T3"}, "T3"},
        {{"--type", "lan", "--speed", "T1"}, "T1"},
        {{"--repeat", "0"}, "--repeat"},
        {{"--repeat", "many"}, "many"},
        {{"--format", "xml"}, "xml"},
        {{"--fill", "ones"}, "ones"},
        {{"--name", "   "}, "--name"},
        {{"--password", "secret"}, "--password"},
        {{"--stall-timeout", "0"}, "--stall-timeout"},
        {{"--stall-timeout", "soon"}, "soon"},
        // Log lines must stay whole, and the drones' argument separates with "?".
        {{"--name", "x\r\n\"forged\", \"/\", 2020/01/01"}, "The test name must not contain"},
        {{"--dir", "/tmp/a\tb"}, "The target directory must not contain control"},
        {{"--dir", "/tmp/why?"}, "must not contain \"?\""},
        {{"--user", "jo\x7F"}, "The account name must not contain"},
        {{"--format", "openmetrics", "--metrics-file", ""}, "--metrics-file needs a file name"},
        {{"--password-file", ""}, "--password-file needs a file name"},
        {{"--password-stdin", "--password-file", "/etc/hostname"}, "excludes"},
        {{"--config", "/no/such/wirepace.conf"}, "/no/such/wirepace.conf"},
    };
    for (const auto& [args, named] : cases) {
        ChildProcess cli(Args(args), Env());
        EXPECT_EQ(cli.Wait(30), 2) << args[0];
        EXPECT_NE(cli.Err().find(named), std::string::npos) << cli.Err();
    }
    EXPECT_FALSE(std::filesystem::exists(home.Path() / "cache"));
    EXPECT_FALSE(std::filesystem::exists(home.Path() / "data"));

    ChildProcess help(Args({"--help"}), Env());
    EXPECT_EQ(help.Wait(30), 0);
    EXPECT_NE(help.Out().find("--password-stdin"), std::string::npos);
}

TEST_F(Cli, ErrorsEndTheRunWithExitOne) {
    ChildProcess missing(Args({"--dir", target.Slash() + "no/such/folder"}), Env());
    EXPECT_EQ(missing.Wait(60), 1);
    // The folder that does not exist is named.
    EXPECT_NE(missing.Err().find("[76]: " + target.Slash() + "no/such/folder/ --"),
              std::string::npos)
        << missing.Err();
    EXPECT_NE(missing.Err().find("Please check target folder"), std::string::npos);

    // A share that cannot be mapped: the reason, at once (unknown server, or no smbnetfs or
    // FUSE on this machine).
    ChildProcess share(Args({"--dir", "//nosuchhost.invalid/share"}), Env());
    EXPECT_EQ(share.Wait(60), 1);
    const std::string said = share.Err();
    EXPECT_TRUE(
        said.find("the server name nosuchhost.invalid is unknown [53] --") != std::string::npos ||
        said.find("smbnetfs") != std::string::npos || said.find("FUSE") != std::string::npos)
        << said;
    EXPECT_EQ(said.find("Testing Connection"), std::string::npos) << said;
    ExpectNothingLeft(target.Path());
}

TEST_F(Cli, RandomFillMovesFilesOfTheSameSize) {
    // The content itself is checked where the files are made (core tests); here the option
    // reaches the run and the sizes stay those of the table.
    ChildProcess cli(
        Args({"--dir", target.Path().string(), "--fill", "random", "--format", "json"}), Env());
    ASSERT_EQ(cli.Wait(120), 0) << cli.Err();
    const auto doc = nlohmann::json::parse(cli.Out());
    EXPECT_EQ(doc["settings"]["fill"], "random");
    EXPECT_EQ(doc["runs"][0]["tests"][1]["bytes"], 163840);
}

TEST_F(Cli, InterruptDuringADroneTestStopsCleanly) {
    ChildProcess cli(Args({"--dir", target.Path().string(), "--speed", ">T1"}), Env());
    ASSERT_TRUE(cli.WaitForError("Test 8/9 (7)", 120)) << cli.Err();
    // Inside test 7's wait for its drones.
    usleep(700 * 1000);
    cli.Signal(SIGINT);
    EXPECT_EQ(cli.Wait(60), 130) << cli.Err();
    EXPECT_NE(cli.Err().find("Interrupted by user"), std::string::npos);
    ExpectNothingLeft(target.Path());
}

TEST_F(Cli, TheBuiltInFolderIsMeasuredWithTheLargestLanSizes) {
    ChildProcess cli(Args({"--format", "json"}), Env());
    // Stopped once the first test (the 10 MB small file) is done.
    ASSERT_TRUE(cli.WaitForError("Test 2/9", 60)) << cli.Err();
    cli.Signal(SIGINT);
    ASSERT_EQ(cli.Wait(60), 130) << cli.Err();
    const auto doc = nlohmann::json::parse(cli.Out());
    EXPECT_EQ(doc["settings"]["type"], "lan");
    EXPECT_EQ(doc["settings"]["speed"], "100mb");
    EXPECT_EQ(doc["settings"]["builtin_target"], true);
    EXPECT_NE(doc["local_disk"].get<std::string>().find("this machine's own disk"),
              std::string::npos);
    ASSERT_GE(doc["runs"][0]["tests"].size(), 1u);
    EXPECT_EQ(doc["runs"][0]["tests"][0]["bytes"], 10485760);
    EXPECT_EQ(doc["runs"][0]["status"], "Interrupted by user");
    EXPECT_EQ(Count(cli.Err(), "Interrupted by user"), 1u) << cli.Err();
    ExpectNothingLeft(WorkRoot() + "target");
}

TEST_F(Cli, TypeAndSpeedDefaults) {
    auto parse = [](std::vector<const char*> args) {
        args.insert(args.begin(), "wirepace-cli");
        return cli::ParseOptions(static_cast<int>(args.size()), args.data()).options;
    };
    const std::vector<std::tuple<std::vector<const char*>, std::string, std::string>> cases = {
        {{}, "lan", "100mb"},
        {{"--dir", "/mnt/b"}, "wan", "<256"},
        {{"--type", "wan"}, "wan", "<256"},
        {{"--type", "lan", "--dir", "/mnt/b"}, "lan", "10mb"},
        {{"--speed", "T1"}, "wan", "T1"},  // the type of the speed given
        {{"--speed", "10mb", "--dir", "/mnt/b"}, "lan", "10mb"},
        {{"--speed", "1gb", "--dir", "/mnt/b"}, "lan", "1gb"},
        {{"--type", "lan", "--speed", "10gb"}, "lan", "10gb"},
    };
    for (const auto& [args, type, speed] : cases) {
        const auto options = parse(args);
        ASSERT_TRUE(options);
        EXPECT_EQ(options->type, type) << speed;
        EXPECT_EQ(options->speed, speed);
        EXPECT_EQ(options->stallTimeoutSeconds, 120);
    }
    EXPECT_EQ(parse({"--stall-timeout", "7"})->stallTimeoutSeconds, 7);

    // A LAN entry with the WAN type is refused, naming the type's own entries.
    const char* wrongType[] = {"wirepace-cli", "--type", "wan", "--speed", "10gb"};
    const cli::ParseResult refused = cli::ParseOptions(5, wrongType);
    EXPECT_FALSE(refused.options);
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_NE(refused.output.find("\"10gb\" is not a wan speed"), std::string::npos)
        << refused.output;
    const char* lanList[] = {"wirepace-cli", "--type", "lan", "--speed", "T1"};
    EXPECT_NE(cli::ParseOptions(5, lanList).output.find("\"10mb\", \"100mb\", \"1gb\", \"10gb\""),
              std::string::npos);
}

TEST_F(Cli, ReportsCarryEachDronesTimeAndTheNote) {
    RunResult run;
    run.outcome = RunOutcome::Finished;
    for (int i = 0; i < kTestCount; ++i) {
        TestResult t;
        t.index = i;
        t.id = TestId(i);
        t.name = TestName(i);
        t.ms = t.exactMs = 100;
        run.tests.push_back(t);
    }
    run.tests[6].droneMs = {1000, 3000};
    run.tests[7].droneMs = {10, 20, 30, 40, 5000};
    run.tests[8].droneMs = {7, 7, 7, 7, 7};
    run.note = "target is a local disk: no network diagnosis";
    cli::Options options;
    options.dir = "/mnt/b";

    std::ostringstream json;
    cli::WriteJson(json, options, "/mnt/b/", {run, run});
    const auto doc = nlohmann::json::parse(json.str());
    EXPECT_EQ(doc["runs"][0]["tests"][6]["drone_ms"], nlohmann::json({1000, 3000}));
    EXPECT_EQ(doc["runs"][1]["tests"][7]["drone_ms"][4], 5000);
    EXPECT_FALSE(doc["runs"][0]["tests"][5].contains("drone_ms"));
    EXPECT_EQ(doc["runs"][0]["note"], run.note);
    EXPECT_EQ(doc["settings"]["builtin_target"], false);
    EXPECT_FALSE(doc.contains("local_disk"));
    EXPECT_EQ(cli::DistinctNotes({run, run}), std::vector<std::string>{run.note});

    std::ostringstream csv;
    cli::WriteCsv(csv, {run});
    std::istringstream rows(csv.str());
    std::vector<std::string> lines;
    for (std::string line; std::getline(rows, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_TRUE(lines[1].ends_with(",100,0,0,,,,,,")) << lines[1];  // test 1a: no drones
    EXPECT_TRUE(lines[7].ends_with(",,1000,3000,,,")) << lines[7];
    EXPECT_TRUE(lines[8].ends_with(",,10,20,30,40,5000")) << lines[8];
}

TEST_F(Cli, TextThatIsNotUtf8StillGivesValidJson) {
    // In the report alone, and through a real run with such a name, folder and account.
    cli::Options options;
    options.name = "caf\xE9";
    options.user = "\xC3";
    std::ostringstream json;
    cli::WriteJson(json, options, "/mnt/\xFF/", {});
    const auto doc = nlohmann::json::parse(json.str());
    EXPECT_EQ(doc["settings"]["name"], "caf\xEF\xBF\xBD");
    EXPECT_EQ(doc["settings"]["dir"], "/mnt/\xEF\xBF\xBD/");

    const std::string dir = target.Slash() + "bench \xFE\xFF";
    std::filesystem::create_directory(dir);
    ChildProcess cli(Args({"--name",
                           "Br\xFC"
                           "cke",
                           "--dir", dir, "--user", "\xFF", "--format", "json"}),
                     Env());
    ASSERT_EQ(cli.Wait(120), 0) << cli.Err();
    const auto run = nlohmann::json::parse(cli.Out());
    EXPECT_EQ(run["settings"]["name"],
              "Br\xEF\xBF\xBD"
              "cke");
    EXPECT_EQ(run["settings"]["user"], "\xEF\xBF\xBD");
    EXPECT_EQ(run["runs"][0]["status"], "Finished");
    // The log keeps the bytes as they were given.
    EXPECT_EQ(LogLines()[1].rfind("\"Br\xFC"
                                  "cke\", \"" +
                                      dir + "/\", ",
                                  0),
              0u);
    ExpectNothingLeft(dir);
}

TEST_F(Cli, SigtermStopsCleanlyAndASecondSignalEndsAtOnce) {
    {
        ChildProcess cli(Args({"--dir", target.Path().string(), "--speed", ">T1"}), Env());
        ASSERT_TRUE(cli.WaitForError("Test 8/9 (7)", 120)) << cli.Err();
        usleep(700 * 1000);
        cli.Signal(SIGTERM);
        EXPECT_EQ(cli.Wait(60), 143) << cli.Err();
        EXPECT_NE(cli.Err().find("Interrupted by user"), std::string::npos);
        EXPECT_EQ(cli.Out().rfind("Interrupted by user\n", 0), 0u);
        ExpectNothingLeft(target.Path());
    }
    for (const int second : {SIGINT, SIGTERM}) {
        // The first signal lands in the half-second pause before test 1b and would end the
        // run after it; the second must not wait for that.
        auto env = Env();
        env.erase("WIREPACE_TEST_PAUSE_BEFORE_TEST_S");
        ChildProcess cli(Args({"--dir", target.Path().string(), "--type", "lan"}), env);
        ASSERT_TRUE(cli.WaitForError("Test 2/9", 60)) << cli.Err();
        cli.Signal(SIGINT);
        ASSERT_TRUE(cli.WaitForError("Interrupted by user", 10)) << cli.Err();
        const auto sent = std::chrono::steady_clock::now();
        cli.Signal(second);
        EXPECT_EQ(cli.Wait(10), 128 + second) << cli.Err();
        EXPECT_LT(std::chrono::steady_clock::now() - sent, std::chrono::seconds(2));
        EXPECT_EQ(cli.Out(), "");  // gone before the stopped run could write its report
        // Yet not one work file stays: the second signal removed them on its way out.
        ExpectNothingLeft(target.Path());
    }
}

TEST_F(Cli, AClosedOutputNeitherKillsTheRunNorLeavesFiles) {
    // `wirepace-cli 2>&1 | head -3`: the reader goes after three lines of progress.
    ChildProcess head(Args({"--dir", target.Path().string()}), Env());
    ASSERT_TRUE(head.WaitForError("Test 2/9", 60)) << head.Err();
    head.CloseOutput(true);
    EXPECT_EQ(head.Wait(120), 1);  // the run went on; only the report was lost
    const auto lines = LogLines();
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_NE(lines[9].find(", 8, "), std::string::npos);
    ExpectNothingLeft(target.Path());

    // Standard output alone closed: said once on standard error.
    ChildProcess out(Args({"--dir", target.Path().string(), "--format", "csv"}), Env());
    out.CloseOutput(false);
    EXPECT_EQ(out.Wait(120), 1) << out.Err();
    EXPECT_EQ(Count(out.Err(), "cannot write the results to standard output"), 1u) << out.Err();
    EXPECT_EQ(LogLines().size(), 20u);
    ExpectNothingLeft(target.Path());
}

TEST_F(Cli, TheMetricsFileIsReplacedWholeHoweverTheRunEnds) {
    const std::string folder = home.Slash() + "textfile";
    std::filesystem::create_directory(folder);
    const std::string file = folder + "/wirepace.prom";
    ChildProcess finished(
        Args({"--dir", target.Path().string(), "--metrics-file", file, "--format", "openmetrics"}),
        Env());
    ASSERT_EQ(finished.Wait(120), 0) << finished.Err();
    const std::string written = testing::ReadFile(file);
    EXPECT_EQ(finished.Out(), written);
    EXPECT_EQ(Count(written, "outcome=\"finished\"} 1\n"), 1u) << written;
    EXPECT_EQ(Count(written, "\nwirepace_test_speed_bytes_per_second{"), 9u);
    EXPECT_EQ(testing::Entries(folder), std::vector<std::string>{"wirepace.prom"});

    // A run that fails replaces the figures with its failure and its error number.
    ChildProcess failed(Args({"--dir", target.Slash() + "no/such/folder", "--metrics-file", file}),
                        Env());
    EXPECT_EQ(failed.Wait(60), 1) << failed.Err();
    std::string now = testing::ReadFile(file);
    EXPECT_EQ(Count(now, "outcome=\"error\"} 1\n"), 1u) << now;
    EXPECT_EQ(Count(now, "\nwirepace_run_error_number{"), 1u);
    EXPECT_NE(now.find("} 76\n"), std::string::npos) << now;
    EXPECT_EQ(Count(now, "\nwirepace_test_"), 0u) << now;

    // So does a run refused before it starts: a password file others may read (or a pipe,
    // which must not hold the program either).
    const std::string password = home.Slash() + "password";
    testing::WriteFile(password, "secret\n");
    chmod(password.c_str(), 0644);
    ChildProcess readable(Args({"--dir", target.Path().string(), "--password-file", password,
                                "--metrics-file", file}),
                          Env());
    EXPECT_EQ(readable.Wait(30), 2);
    EXPECT_NE(readable.Err().find("may be read by other users (mode 0644)"), std::string::npos)
        << readable.Err();
    EXPECT_NE(readable.Err().find("chmod 600"), std::string::npos);
    now = testing::ReadFile(file);
    EXPECT_EQ(Count(now, "outcome=\"error\"} 1\n"), 1u) << now;
    EXPECT_NE(now.find("} 70\n"), std::string::npos) << now;
    const std::string pipe = home.Slash() + "pipe";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    ChildProcess fifo(Args({"--dir", target.Path().string(), "--password-file", pipe}), Env());
    EXPECT_EQ(fifo.Wait(30), 2);
    EXPECT_NE(fifo.Err().find("is not a plain file"), std::string::npos) << fifo.Err();

    // Where it cannot be written the run still counts, and the exit code says what was lost.
    ChildProcess nowhere(Args({"--dir", target.Path().string(), "--metrics-file",
                               home.Slash() + "missing/wirepace.prom"}),
                         Env());
    EXPECT_EQ(nowhere.Wait(120), 1);
    EXPECT_NE(nowhere.Err().find("cannot write the metrics file"), std::string::npos)
        << nowhere.Err();
    // Nothing is written through a link under the name.
    std::filesystem::create_symlink(file, folder + "/link.prom");
    ChildProcess link(
        Args({"--dir", target.Path().string(), "--metrics-file", folder + "/link.prom"}), Env());
    EXPECT_EQ(link.Wait(120), 1);
    EXPECT_NE(link.Err().find("Refusing to write through"), std::string::npos) << link.Err();
    EXPECT_EQ(testing::ReadFile(file), now);
    EXPECT_EQ(testing::Entries(folder), (std::vector<std::string>{"link.prom", "wirepace.prom"}));
    // Three whole runs, and the banner and error line of the failed one.
    EXPECT_EQ(LogLines().size(), 3u * 10u + 2u);
    ExpectNothingLeft(target.Path());
}

TEST_F(Cli, OptionsFromAFileWithAPrivatePasswordFile) {
    const std::string password = home.Slash() + "password";
    testing::WriteFile(password, "secret\r\n");
    chmod(password.c_str(), 0600);
    const std::string conf = home.Slash() + "branch.conf";
    // Single quotes keep a backslash as it is.
    testing::WriteFile(conf, "# a scheduled run\nname = 'Branch, office'\ndir = '" +
                                 target.Path().string() +
                                 "'\nuser = 'CORP\\jo'\nspeed = '<256'\n"
                                 "password-file = '" +
                                 password + "'\n");
    ChildProcess fromFile(Args({"--config", conf, "--format", "json"}), Env());
    ASSERT_EQ(fromFile.Wait(120), 0) << fromFile.Err();
    auto doc = nlohmann::json::parse(fromFile.Out());
    EXPECT_EQ(doc["settings"]["name"], "Branch, office");
    EXPECT_EQ(doc["settings"]["user"], "CORP\\jo");
    EXPECT_EQ(doc["settings"]["dir"], target.Slash());
    EXPECT_EQ(doc["runs"][0]["status"], "Finished");

    // The command line goes before the file.
    ChildProcess overridden(Args({"--config", conf, "--name", "command line", "--format", "json"}),
                            Env());
    ASSERT_EQ(overridden.Wait(120), 0) << overridden.Err();
    EXPECT_EQ(nlohmann::json::parse(overridden.Out())["settings"]["name"], "command line");

    // A misspelt option in the file is refused, not ignored.
    testing::WriteFile(conf, "dri = '/mnt/bench'\n");
    ChildProcess misspelt(Args({"--config", conf}), Env());
    EXPECT_EQ(misspelt.Wait(30), 2);
    EXPECT_NE(misspelt.Err().find("dri"), std::string::npos) << misspelt.Err();
    ExpectNothingLeft(target.Path());
}

}  // namespace
}  // namespace wirepace
