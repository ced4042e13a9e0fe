// SPDX-License-Identifier: MIT
#include "core/results_log.h"

#include "common/error.h"
#include "common/number_format.h"
#include "platform/platform.h"

namespace wirepace {

namespace {
std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}
}  // namespace

std::string ResultLine(const std::string& testName, const std::string& dir, const DateTime& now,
                       const std::string& testId, const std::string& msText,
                       const std::string& speedText, const std::string& comment) {
    return Quoted(testName) + ", " + Quoted(dir) + ", " + ShortDate(now) + ", " +
           ResultTimeField(now) + ", " + testId + ", " + msText + ", " + speedText + ", " +
           Quoted(comment);
}

void RecordResult(BenchmarkState& state, MainWindowIO& window, int testIndex, double& ms,
                  double bytes) {
    RecordResultAt(state, window, testIndex, ms, bytes, DateTime::Now());
}

void RecordResultAt(BenchmarkState& state, MainWindowIO& window, int testIndex, double& ms,
                    double bytes, const DateTime& now) {
    if (testIndex < 0 || testIndex >= kTestCount) throw RuntimeError(kErrSubscriptOutOfRange);

    // Keep the order of operations: it decides the last bits of the stored speed.
    double speed = ms == 0 ? bytes / 1024 * 1000 : bytes / 1024 / ms * 1000;
    std::string comment;
    switch (testIndex) {
        case 4:
            state.OutboundLargeMs = ms;
            state.OutboundLargeSpeed = speed;
            break;
        case 5:
            state.InboundLargeMs = ms;
            state.InboundLargeSpeed = speed;
            break;
        case 6:
            if (1.5 * (state.InboundLargeMs + state.OutboundLargeMs) < ms) comment = kDuplexComment;
            break;
        case 7:
            if (1.5 * state.OutboundLargeSpeed < speed) comment = kWindowComment;
            break;
        case 8:
            if (1.5 * state.InboundLargeSpeed < speed) comment = kWindowComment;
            break;
        default:
            break;
    }

    ms = RoundHalfEven(ms);
    speed = RoundHalfEven(speed);
    const auto i = static_cast<std::size_t>(testIndex);
    state.TestSpeeds[i] = speed;
    state.TestTimesMs[i] = NumberToText(ms);
    state.TestSizesMB[i] = NumberToText(RoundHalfEven(bytes / 1024 / 1024, 3));
    state.TestComments[i] = comment;
    state.TestBytes[i] = bytes;

    const std::string line = ResultLine(window.TestId(), window.DirPath(), now, state.TestIds[i],
                                        NumberToText(ms), NumberToText(speed), comment);
    // The log first: a failure while updating the box must not lose the line.
    platform::AppendLine(state.LogPath, line);
    window.SetResultsText(window.ResultsText() + line + "\r\n");
    window.FocusResultsAtEnd();
}

void LogLine(const BenchmarkState& state, MainWindowIO& window, const std::string& text) {
    window.SetResultsText(text + "\r\n");
    platform::AppendLine(state.LogPath, text);
}

}  // namespace wirepace
