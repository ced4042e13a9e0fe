// SPDX-License-Identifier: MIT
// The metrics text of wirepace-cli from results made up here: units, outcomes, escaping.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/metrics.h"
#include "core/catalogue.h"
#include "core/results_log.h"

namespace wirepace {
namespace {

RunResult FinishedRun() {
    RunResult run;
    run.outcome = RunOutcome::Finished;
    for (int i = 0; i < kTestCount; ++i) {
        TestResult t;
        t.index = i;
        t.id = TestId(i);
        t.name = TestName(i);
        t.ms = 1500;
        t.bytes = 163840;
        t.speed = 107;
        run.tests.push_back(t);
    }
    return run;
}

cli::MetricsInput Input(std::vector<RunResult> runs) {
    cli::MetricsInput input;
    input.name = "Leeds";
    input.target = "//srv/bench";
    input.type = "wan";
    input.speed = "T1";
    input.repeat = static_cast<int>(runs.size());
    input.runs = std::move(runs);
    input.startedAt = 1700000000;
    return input;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The value of the one sample whose line starts with `series` ("name{labels").
std::string ValueOf(const std::string& text, const std::string& series) {
    std::string found;
    int count = 0;
    for (const auto& line : Lines(text))
        if (line.rfind(series + "}", 0) == 0 || line.rfind(series + ",", 0) == 0) {
            found = line.substr(line.rfind(' ') + 1);
            ++count;
        }
    EXPECT_EQ(count, 1) << series;
    return found;
}

std::size_t CountStarting(const std::string& text, const std::string& start) {
    std::size_t n = 0;
    for (const auto& line : Lines(text)) n += line.rfind(start, 0) == 0;
    return n;
}

const std::string kRun = R"(name="Leeds",target="//srv/bench",type="wan",speed="T1")";

TEST(Metrics, FinishedRunsInBaseUnitsWithEveryFamilyDescribedOnce) {
    std::vector<RunResult> runs = {FinishedRun(), FinishedRun()};
    runs[1].tests[4].speed = 11811;  // KB/s of 1024 bytes
    runs[1].tests[4].ms = 7;
    runs[1].tests[5].ms = 0;
    runs[1].tests[0].ms = 123456789;
    runs[1].tests[6].comment = kDuplexComment;
    runs[1].tests[7].comment = kWindowComment;
    const std::string text = cli::MetricsText(Input(runs));

    const std::string test4 =
        "{" + kRun + R"(,run="2",test_id="4",test_name="OUTBOUND THROUGHTPUT LARGE")";
    EXPECT_EQ(ValueOf(text, "wirepace_test_speed_bytes_per_second" + test4), "12094464");
    EXPECT_EQ(ValueOf(text, "wirepace_test_time_seconds" + test4), "0.007");
    EXPECT_EQ(ValueOf(text, "wirepace_test_size_bytes" + test4), "163840");
    EXPECT_EQ(ValueOf(text, "wirepace_test_time_seconds{" + kRun + R"(,run="2",test_id="5")"), "0");
    EXPECT_EQ(ValueOf(text, "wirepace_test_time_seconds{" + kRun + R"(,run="2",test_id="1a")"),
              "123456.789");
    EXPECT_EQ(ValueOf(text, "wirepace_test_time_seconds{" + kRun + R"(,run="1",test_id="1a")"),
              "1.5");
    EXPECT_EQ(
        ValueOf(text, "wirepace_test_speed_bytes_per_second{" + kRun + R"(,run="1",test_id="8")"),
        "109568");

    // Each diagnosis is its own 0/1 series, for every test of every run.
    EXPECT_EQ(CountStarting(text, "wirepace_test_diagnosis{"), 2u * 9u * 2u);
    const std::string test6 = "wirepace_test_diagnosis{" + kRun + R"(,run="2",test_id="6")";
    const std::string test7 = "wirepace_test_diagnosis{" + kRun + R"(,run="2",test_id="7")";
    for (const auto& line : Lines(text)) {
        if (line.rfind("wirepace_test_diagnosis{", 0) != 0) continue;
        const bool raised =
            (line.rfind(test6, 0) == 0 && line.find("\"duplex_mismatch\"") != std::string::npos) ||
            (line.rfind(test7, 0) == 0 && line.find("\"window_limitation\"") != std::string::npos);
        EXPECT_EQ(line.back(), raised ? '1' : '0') << line;
    }

    EXPECT_EQ(ValueOf(text, "wirepace_run_outcome{" + kRun + R"(,outcome="finished")"), "1");
    EXPECT_EQ(ValueOf(text, "wirepace_run_outcome{" + kRun + R"(,outcome="error")"), "0");
    EXPECT_EQ(ValueOf(text, "wirepace_run_error_number{" + kRun), "0");
    EXPECT_EQ(ValueOf(text, "wirepace_run_timestamp_seconds{" + kRun), "1700000000");

    // One HELP and one TYPE per family, before its samples; "# EOF" ends the text.
    const auto lines = Lines(text);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "# EOF");
    std::vector<std::string> families;
    std::string current;
    for (const auto& line : lines) {
        if (line.rfind("# HELP ", 0) == 0) {
            current = line.substr(7, line.find(' ', 7) - 7);
            EXPECT_EQ(std::count(families.begin(), families.end(), current), 0) << current;
            families.push_back(current);
        } else if (line.rfind("# TYPE ", 0) == 0) {
            EXPECT_EQ(line, "# TYPE " + current + " gauge");
        } else if (line != "# EOF") {
            EXPECT_EQ(line.rfind(current + "{", 0), 0u) << line;
        }
    }
    EXPECT_EQ(families, (std::vector<std::string>{
                            "wirepace_run_outcome", "wirepace_run_error_number",
                            "wirepace_run_timestamp_seconds",
                            "wirepace_test_speed_bytes_per_second", "wirepace_test_time_seconds",
                            "wirepace_test_size_bytes", "wirepace_test_diagnosis"}));
}

TEST(Metrics, AFailedOrCutShortRunSaysSoAndShowsOnlyWhatItMeasured) {
    auto outcomeOf = [](const cli::MetricsInput& input) {
        const std::string text = cli::MetricsText(input);
        std::string outcome;
        for (const char* each : {"finished", "interrupted", "error"})
            if (ValueOf(text, "wirepace_run_outcome{" + kRun + ",outcome=\"" + each + "\"") == "1")
                outcome += each;
        return outcome + " " + ValueOf(text, "wirepace_run_error_number{" + kRun);
    };

    RunResult failed = FinishedRun();
    failed.tests.resize(3);
    failed.outcome = RunOutcome::Error;
    failed.errorNumber = 76;
    auto input = Input({failed});
    EXPECT_EQ(outcomeOf(input), "error 76");
    const std::string text = cli::MetricsText(input);
    EXPECT_EQ(CountStarting(text, "wirepace_test_speed_bytes_per_second{"), 3u);
    EXPECT_EQ(CountStarting(text, "wirepace_test_time_seconds{"), 3u);

    // An error outside any run (a refused password file, a second instance) shows no test.
    input = Input({});
    input.failure = 70;
    EXPECT_EQ(outcomeOf(input), "error 70");
    EXPECT_EQ(CountStarting(cli::MetricsText(input), "wirepace_test_"), 0u);
    input.failure = 0;
    EXPECT_EQ(outcomeOf(input), "error 0");

    RunResult stopped = FinishedRun();
    stopped.tests.resize(5);
    stopped.outcome = RunOutcome::Interrupted;
    EXPECT_EQ(outcomeOf(Input({stopped})), "interrupted 0");
    // Stopped between two runs: every run finished, but fewer than asked for.
    input = Input({FinishedRun()});
    input.repeat = 3;
    EXPECT_EQ(outcomeOf(input), "interrupted 0");
    EXPECT_EQ(outcomeOf(Input({})), "interrupted 0");
    // An error in a later run of several.
    input = Input({FinishedRun(), failed});
    EXPECT_EQ(outcomeOf(input), "error 76");
}

TEST(Metrics, LabelValuesAreEscapedAndValidUtf8) {
    EXPECT_EQ(cli::LabelValue(R"(Br"anch \ office)"), R"(Br\"anch \\ office)");
    EXPECT_EQ(cli::LabelValue("a\nb"), "a\\nb");
    EXPECT_EQ(cli::LabelValue("Z\xC3\xBCrich \xE2\x9C\x93 \xF0\x9F\x93\xB6"),
              "Z\xC3\xBCrich \xE2\x9C\x93 \xF0\x9F\x93\xB6");
    const std::string bad = "\xEF\xBF\xBD";
    EXPECT_EQ(cli::LabelValue("caf\xE9"), "caf" + bad);      // Latin-1 byte
    EXPECT_EQ(cli::LabelValue("\xC3"), bad);                 // cut short
    EXPECT_EQ(cli::LabelValue("\xC0\xAF"), bad);             // overlong "/"
    EXPECT_EQ(cli::LabelValue("\xED\xA0\x80!"), bad + "!");  // a surrogate
    EXPECT_EQ(cli::LabelValue("\xF4\x90\x80\x80"), bad);     // past U+10FFFF
    EXPECT_EQ(cli::LabelValue("\xE2\x9C"
                              R"(")"),
              bad + R"(\")");  // cut before a quote
    EXPECT_EQ(cli::LabelValue("\xFF\xFE"), bad + bad);

    auto input = Input({FinishedRun()});
    input.name = "say \"hi\"\\\xFF";
    input.target = "\\\\srv\\bench";
    const std::string text = cli::MetricsText(input);
    EXPECT_NE(text.find(R"(wirepace_run_error_number{name="say \"hi\"\\)" + bad +
                        R"(",target="\\\\srv\\bench",)"),
              std::string::npos)
        << text;
}

}  // namespace
}  // namespace wirepace
