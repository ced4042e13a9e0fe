// SPDX-License-Identifier: MIT
#include "core/history.h"

#include <gtest/gtest.h>

#include "common/date_format.h"
#include "common/number_format.h"
#include "common/regional.h"
#include "core/catalogue.h"
#include "core/results_log.h"
#include "support/temp_dir.h"

namespace wirepace {
namespace {

// A log written with the program's own line forms.
class Log {
  public:
    Log& Banner(const std::string& name, const std::string& time = "14:05:09") {
        text_ += "-- Starting " + name + " test at " + time + " --\r\n";
        return *this;
    }
    // Tests `first` to `last` of a run, test i at `base` + i KB/s.
    Log& Results(const std::string& name, const std::string& dir, double base, int first = 0,
                 int last = kTestCount - 1, const DateTime& at = Day(7)) {
        for (int i = first; i <= last; ++i)
            text_ += ResultLine(name, dir, at, TestId(i), NumberToText(100 + i),
                                NumberToText(base + i), i == 6 ? kDuplexComment : "") +
                     "\r\n";
        return *this;
    }
    Log& Line(const std::string& line) {
        text_ += line + "\r\n";
        return *this;
    }
    const std::string& Text() const { return text_; }

    static DateTime Day(int day) {
        return DateTime{
            .year = 2026, .month = 12, .day = day, .hour = 14, .minute = 5, .second = 9};
    }

  private:
    std::string text_;
};

std::vector<double> Speeds(const LoggedRun& run) {
    std::vector<double> speeds;
    for (const LoggedTest& t : run.tests) speeds.push_back(t.speed);
    return speeds;
}

TEST(History, PicksTheRunsOfOneNameAndTargetOutOfAMixedLog) {
    Log log;
    log.Banner("Lab").Results("Lab", "/mnt/a/", 1000, 0, 8, Log::Day(1));
    log.Banner("Lab").Results("Lab", "/mnt/b/", 2000);
    log.Banner("Other").Results("Other", "/mnt/a/", 3000);
    log.Banner("Lab").Results("Lab", "/mnt/a/", 4000, 0, 8, Log::Day(9));
    // A run that failed before its first test, and one stopped after test 3.
    log.Banner("Lab").Line("-- Error: Path not found [76]: /srv/bench/x --");
    log.Banner("Lab", "15:00:00").Results("Lab", "/mnt/a/", 5000, 0, 3);

    const LogHistory history = ParseResultsLog(log.Text());
    EXPECT_EQ(history.skippedLines, 0);
    EXPECT_EQ(history.runsWithoutResults, 1);
    ASSERT_EQ(history.runs.size(), 5u);

    const auto lab = SelectRuns(history, std::string("Lab"), std::string("/mnt/a/"));
    ASSERT_EQ(lab.size(), 3u);
    EXPECT_EQ(lab[0]->tests.size(), 9u);
    EXPECT_EQ(lab[0]->tests[8].speed, 1008);
    EXPECT_EQ(lab[0]->tests[6].comment, kDuplexComment);
    EXPECT_EQ(lab[0]->tests[5].ms, 105);
    EXPECT_EQ(lab[0]->tests[5].id, "5");
    EXPECT_EQ(lab[0]->Date(), ShortDate(Log::Day(1)));
    EXPECT_EQ(lab[0]->tests[0].time, ResultTimeField(Log::Day(1)));
    EXPECT_EQ(lab[1]->tests.front().speed, 4000);
    EXPECT_EQ(lab[1]->Date(), ShortDate(Log::Day(9)));
    EXPECT_EQ(Speeds(*lab[2]), (std::vector<double>{5000, 5001, 5002, 5003}));
    EXPECT_EQ(lab[2]->startTime, "15:00:00");
    EXPECT_EQ(lab[2]->Find(4), nullptr);
    EXPECT_EQ(lab[2]->Find(3)->speed, 5003);

    // The target however it is typed; every run without a filter; a name of no run.
    EXPECT_EQ(SelectRuns(history, std::string("Lab"), std::string("/mnt/a")).size(), 3u);
    EXPECT_EQ(SelectRuns(history, std::nullopt, std::string("/mnt/a/")).size(), 4u);
    EXPECT_EQ(SelectRuns(history, std::string("Lab"), std::nullopt).size(), 4u);
    EXPECT_EQ(SelectRuns(history, std::nullopt, std::nullopt).size(), 5u);
    EXPECT_TRUE(SelectRuns(history, std::string("lab"), std::nullopt).empty());
    EXPECT_TRUE(SameTarget("\\\\srv\\bench\\", "//srv/bench"));
    EXPECT_FALSE(SameTarget("/mnt/a/", "/mnt/ab/"));
}

TEST(History, ForeignAndDamagedLinesAreSkippedAndCounted) {
    Log log;
    log.Line("Notes about the link, typed into the log by hand");
    log.Banner("Lab").Results("Lab", "/mnt/a/", 1000, 0, 4);
    const std::string whole = ResultLine("Lab", "/mnt/a/", Log::Day(7), "5", "10", "99", "");
    log.Line(whole.substr(0, whole.size() / 2));                                // torn line
    log.Line(ResultLine("Lab", "/mnt/a/", Log::Day(7), "9", "10", "99", ""));   // unknown test
    log.Line(ResultLine("Lab", "/mnt/a/", Log::Day(7), "5", "ten", "99", ""));  // not a number
    log.Line("\"Lab\", \"/mnt/a/\"" + std::string(1, '\0') + "\xff\xfe");       // binary
    log.Line("\"\", \"\", , , , , , \"\"");
    log.Line("");
    log.Results("Lab", "/mnt/a/", 1000, 5, 8);
    // Results with no banner (an older log) form runs of their own, split where the sequence
    // starts again.
    log.Results("Old", "C:\\bench\\", 10).Results("Old", "C:\\bench\\", 20, 0, 2);
    // Quotes and the separator in the name and the folder: the banner's name splits them.
    log.Banner("A \", \"B").Results("A \", \"B", "/mnt/\"q\", \"/", 30);
    log.Line("-- Error: Disk full [61]: /srv/bench/Test10240.jnk --");

    const LogHistory history = ParseResultsLog(log.Text());
    EXPECT_EQ(history.skippedLines, 6);
    ASSERT_EQ(history.runs.size(), 4u);
    EXPECT_EQ(history.runs[0].tests.size(), 9u);  // the damaged lines left the run whole
    EXPECT_EQ(history.runs[0].tests[5].speed, 1005);
    EXPECT_EQ(history.runs[1].name, "Old");
    EXPECT_EQ(history.runs[1].dir, "C:\\bench\\");
    EXPECT_EQ(history.runs[1].startTime, "");
    EXPECT_EQ(history.runs[1].tests.size(), 9u);
    EXPECT_EQ(Speeds(history.runs[2]), (std::vector<double>{20, 21, 22}));
    EXPECT_EQ(history.runs[3].name, "A \", \"B");
    EXPECT_EQ(history.runs[3].dir, "/mnt/\"q\", \"/");
    EXPECT_EQ(history.runs[3].tests.size(), 9u);
    EXPECT_EQ(history.runs[3].otherLines,
              std::vector<std::string>{"-- Error: Disk full [61]: /srv/bench/Test10240.jnk --"});

    // Cut anywhere, the log still reads: never more results than it holds whole lines.
    const std::string& text = log.Text();
    for (std::size_t cut = 0; cut <= text.size(); ++cut) {
        const LogHistory part = ParseResultsLog(std::string_view(text).substr(0, cut));
        std::size_t results = 0;
        for (const LoggedRun& run : part.runs) results += run.tests.size();
        EXPECT_LE(results, 30u) << cut;
    }
}

TEST(History, RegionalFormsAndTheFileOnDisk) {
    const RegionalSettings saved = Regional();
    RegionalSettings other = saved;
    other.shortDatePattern = "d. m. yyyy";
    other.dateSeparator = ".";
    other.decimalSeparator = ",";
    other.timeSeparator = ".";
    SetRegional(other);
    Log log;
    log.Banner("Lab", "14.05.09").Results("Lab", "/mnt/a/", 1000);
    const LogHistory history = ParseResultsLog(log.Text());
    SetRegional(saved);
    ASSERT_EQ(history.runs.size(), 1u);
    EXPECT_EQ(history.runs[0].Date(), "7. 12. 2026");
    EXPECT_EQ(history.runs[0].tests[8].speed, 1008);

    testing::TempDir dir;
    EXPECT_TRUE(ReadResultsLog(dir.Slash() + "TestResults.txt").runs.empty());  // none yet
    testing::WriteFile(dir.Path() / "TestResults.txt", log.Text());
    EXPECT_EQ(ReadResultsLog(dir.Slash() + "TestResults.txt").runs.size(), 1u);
    // A log from Windows starts with the byte-order mark of UTF-8: its first banner still
    // counts, and its names read as written.
    const std::string name = "\xE6\x97\xA5\xE6\x9C\xAC";  // "日本"
    Log windows;
    windows.Banner(name).Results(name, "C:\\b\\", 1000);
    testing::WriteFile(dir.Path() / "FromWindows.txt", "\xEF\xBB\xBF" + windows.Text());
    const LogHistory copied = ReadResultsLog(dir.Slash() + "FromWindows.txt");
    ASSERT_EQ(copied.runs.size(), 1u);
    EXPECT_EQ(copied.runs[0].startTime, "14:05:09");
    EXPECT_EQ(copied.runs[0].name, name);
    EXPECT_EQ(copied.skippedLines, 0);
}

}  // namespace
}  // namespace wirepace
