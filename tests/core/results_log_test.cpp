// SPDX-License-Identifier: MIT
#include "core/results_log.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "core/catalogue.h"

#include "common/error.h"
#include "support/error_number.h"
#include "support/temp_dir.h"

namespace wirepace {
namespace {

using testing::TempDir;

class Results : public ::testing::Test {
  protected:
    void SetUp() override {
        state.LogPath = logDir.Slash() + "TestResults.txt";
        state.TargetIsRemote = true;
    }
    // Records a result and returns its speed.
    double Record(int index, double ms, double bytes) {
        const TestResult result = RecordResult(state, name, dir, index, ms, bytes, at, note);
        results.at(static_cast<std::size_t>(index)) = result;
        return result.speed;
    }
    const TestResult& Result(int index) const {
        return results.at(static_cast<std::size_t>(index));
    }
    std::string Log() const { return testing::ReadFile(state.LogPath); }

    TempDir logDir;
    RunContext state;
    std::string name = "Lab \"A\"", dir = "/mnt/bench/", note;
    std::array<TestResult, kTestCount> results;
    DateTime at = [] {
        const DateTime d{.year = 2026, .month = 12, .day = 7, .hour = 14, .minute = 5, .second = 9};
        return d;
    }();
};

TEST_F(Results, SpeedTimeAndSize) {
    EXPECT_EQ(Record(2, 0, 163840), 160000);  // 0 ms counts as 1 ms
    EXPECT_EQ(Result(2).ms, 0);

    EXPECT_EQ(Record(3, 1000, 163840), 160);
    EXPECT_EQ(Result(3).ms, 1000);
    EXPECT_EQ(Result(3).sizeMB, 0.156);
    EXPECT_EQ(Result(3).comment, "");
    EXPECT_EQ(Result(3).id, "3");
    EXPECT_EQ(Result(3).name, "INBOUND THROUGHPUT SMALL");

    EXPECT_EQ(Record(0, 1000, 2.5 * 1024), 2);
    EXPECT_EQ(Record(1, 1000, 3.5 * 1024), 4);
    EXPECT_EQ(Result(1).sizeMB, 0.003);

    Record(2, 1234.5, 10 * 1048576.0);
    EXPECT_EQ(Result(2).ms, 1234);  // rounded, the exact time kept beside it
    EXPECT_EQ(Result(2).exactMs, 1234.5);
    EXPECT_EQ(Result(2).sizeMB, 10);
}

TEST_F(Results, DuplexCheckIsStrict) {
    Record(4, 1000, 1048576);
    Record(5, 1000, 1048576);
    EXPECT_EQ(state.OutboundLargeMs, 1000);
    EXPECT_EQ(state.InboundLargeSpeed, 1024);
    Record(6, 3000, 2097152);
    EXPECT_EQ(Result(6).comment, "");
    Record(6, 3001, 2097152);
    EXPECT_EQ(Result(6).comment, "Possible Duplex Mismatch");
}

TEST_F(Results, WindowChecksUseTheAggregateSpeedWithoutAFurtherFactor) {
    // Test 4 at 100 KB/s; five drones moving 5 x 100 KB in a mean of 1000 ms is 500 KB/s.
    Record(4, 1000, 100 * 1024);
    EXPECT_EQ(Record(7, 1000, 150 * 1024), 150);  // exactly 1.5 times: no comment
    EXPECT_EQ(Result(7).comment, "");
    EXPECT_EQ(Record(7, 1000, 151 * 1024), 151);
    EXPECT_EQ(Result(7).comment, "Possible Netbios/TCP Window limitation");
    EXPECT_EQ(Record(7, 1000, 100 * 1024), 100);  // a healthy link raises nothing
    EXPECT_EQ(Result(7).comment, "");

    Record(5, 2000, 400 * 1024);  // 200 KB/s inbound
    EXPECT_EQ(Record(8, 1000, 300 * 1024), 300);
    EXPECT_EQ(Result(8).comment, "");
    EXPECT_EQ(Record(8, 1000, 301 * 1024), 301);
    EXPECT_EQ(Result(8).comment, "Possible Netbios/TCP Window limitation");
}

TEST_F(Results, ResultLineBytes) {
    LogLine(state, "-- Starting Lab test at 14:05:09 --");
    Record(3, 1000, 163840);
    state.OutboundLargeMs = state.InboundLargeMs = 1000;
    Record(6, 3001, 2097152);
    const std::string first =
        "\"Lab \"A\"\", \"/mnt/bench/\", 2026-12-07, 14:05:09.129, 3, 1000, 160, \"\"";
    const std::string second =
        "\"Lab \"A\"\", \"/mnt/bench/\", 2026-12-07, 14:05:09.129, 6, 3001, 682, "
        "\"Possible Duplex Mismatch\"";
    const std::string banner = "-- Starting Lab test at 14:05:09 --";
    EXPECT_EQ(Log(), banner + "\r\n" + first + "\r\n" + second + "\r\n");
    EXPECT_EQ(Result(6).logLine, second);

    LogLine(state, "-- Error: File not found [53] --");
    EXPECT_EQ(Log(), banner + "\r\n" + first + "\r\n" + second + "\r\n" +
                         "-- Error: File not found [53] --\r\n");
}

TEST_F(Results, DroneTestsTakeTheLongestTimeAsTheTimeOfAllTheirBytes) {
    // Two drones moving 160 KB each, done after 1000 and 3000 ms: the link needed 3000 ms.
    const std::vector<double> times = {1000, 3000};
    EXPECT_EQ(Record(6, *std::max_element(times.begin(), times.end()), 2 * 160 * 1024), 107);
    EXPECT_EQ(Result(6).ms, 3000);

    // The window rule at its edge with the longest time: test 4 at 100 KB/s, five drones of
    // 300 KB each whose slowest took 10 s make 150 KB/s, exactly 1.5 times: no comment.
    Record(4, 1000, 100 * 1024);
    EXPECT_EQ(Record(7, 10000, 5 * 300 * 1024), 150);
    EXPECT_EQ(Result(7).comment, "");
    EXPECT_EQ(Record(7, 9900, 5 * 300 * 1024), 152);
    EXPECT_EQ(Result(7).comment, "Possible Netbios/TCP Window limitation");
}

TEST_F(Results, DiagnosesNeedANetworkTargetAndTimingsLongEnoughToJudge) {
    // A local disk: the same figures that raise a comment on a share raise none, and the box
    // says once why.
    state.TargetIsRemote = false;
    Record(4, 1000, 1048576);
    Record(5, 1000, 1048576);
    Record(6, 3001, 2097152);
    EXPECT_EQ(Result(6).comment, "");
    Record(7, 100, 5 * 1048576);
    EXPECT_EQ(Result(7).comment, "");
    EXPECT_EQ(state.DiagnosisNote, "target is a local disk: no network diagnosis");
    EXPECT_EQ(note, "");  // said once, by the first result it concerned
    EXPECT_EQ(Log().find("no network diagnosis"), std::string::npos);  // the log keeps results

    // A network target, but test 4 took 49 ms: too short to judge test 7 against it.
    state.TargetIsRemote = true;
    state.DiagnosisNote.clear();
    Record(4, 49, 100 * 1024);
    Record(7, 1000, 5 * 1048576);
    EXPECT_EQ(Result(7).comment, "");
    EXPECT_EQ(state.DiagnosisNote,
              "test 4 took under 50 ms: too short to judge, choose a larger speed entry");
    EXPECT_EQ(note, state.DiagnosisNote);

    // Test 8 itself under 50 ms, while test 5 is long enough.
    state.DiagnosisNote.clear();
    Record(5, 1000, 100 * 1024);
    Record(8, 49.9, 5 * 1048576);
    EXPECT_EQ(Result(8).comment, "");
    EXPECT_EQ(state.DiagnosisNote,
              "test 8 took under 50 ms: too short to judge, choose a larger speed entry");

    // At 50 ms every timing counts, and the diagnosis fires.
    state.DiagnosisNote.clear();
    Record(4, 50, 100 * 1024);
    Record(7, 50, 5 * 1048576);
    EXPECT_EQ(Result(7).comment, "Possible Netbios/TCP Window limitation");
    EXPECT_EQ(state.DiagnosisNote, "");
}

TEST_F(Results, FailuresReachTheCaller) {
    EXPECT_THROW(Record(9, 10, 1), RuntimeError);
    state.LogPath = logDir.Slash() + "missing/TestResults.txt";
    // It says it was the log.
    EXPECT_EQ(testing::ErrorTextOf([&] { Record(2, 10, 1); }),
              "Path not found writing the results log " + state.LogPath + " [76]");
}

}  // namespace
}  // namespace wirepace
