// SPDX-License-Identifier: MIT
// The real wirepace-cli against temporary folders.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/report.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

namespace wirepace {
namespace {

using testing::ChildProcess;
using testing::TempDir;

class Cli : public ::testing::Test {
  protected:
    std::map<std::string, std::string> Env() const {
        return {{"XDG_CACHE_HOME", home.Slash() + "cache"},
                {"XDG_DATA_HOME", home.Slash() + "data"},
                {"LC_ALL", "C"}};
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

TEST_F(Cli, TextAndCsvRunsWithTheDefaultTarget) {
    ChildProcess text(Args({"--name", "text"}), Env());
    ASSERT_EQ(text.Wait(120), 0) << text.Err();
    EXPECT_EQ(text.Out().rfind("Finished\n", 0), 0u);
    EXPECT_NE(text.Out().find("OUTBOUND NETBIOS/TCP WINDOW TEST"), std::string::npos);
    EXPECT_NE(LogLines()[1].find("cache/wirepace/target/\""), std::string::npos);
    ExpectNothingLeft(WorkRoot() + "target");

    ChildProcess csv(Args({"--type", "lan", "--dir", target.Path().string(), "--format", "csv"}),
                     Env());
    ASSERT_EQ(csv.Wait(120), 0) << csv.Err();
    std::istringstream rows(csv.Out());
    std::string header, row;
    std::getline(rows, header);
    EXPECT_EQ(header, "run,status,test_id,test_name,ms,bytes,speed_kbps,comment");
    int count = 0;
    while (std::getline(rows, row)) {
        ++count;
        EXPECT_EQ(row.rfind("1,Finished,", 0), 0u) << row;
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
    EXPECT_NE(missing.Err().find("[76] --"), std::string::npos) << missing.Err();
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

}  // namespace
}  // namespace wirepace
