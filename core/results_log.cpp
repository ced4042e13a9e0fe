// SPDX-License-Identifier: MIT
#include "core/results_log.h"

#include <vector>

#include "common/error.h"
#include "common/number_format.h"
#include "core/catalogue.h"
#include "platform/platform.h"

namespace wirepace {

namespace {

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

// The log's own failures say it was the log: "Disk full writing the results log /x/...".
void AppendToLog(const RunContext& state, const std::string& line) {
    try {
        platform::AppendLine(state.LogPath, line);
    } catch (const RuntimeError& e) {
        throw RuntimeError(e.Number(),
                           e.Description() + " writing the results log " + state.LogPath)
            .WithPath(state.LogPath);
    }
}

// Why the diagnosis of `testIndex` cannot be judged, or "" when it can.
std::string Unjudgeable(const RunContext& state, int testIndex, double ms) {
    if (!state.TargetIsRemote) return kLocalTargetNote;
    struct Timing {
        const char* id;
        double ms;
    };
    std::vector<Timing> timings;
    switch (testIndex) {
        case 6:
            timings = {{"4", state.OutboundLargeMs}, {"5", state.InboundLargeMs}, {"6", ms}};
            break;
        case 7:
            timings = {{"4", state.OutboundLargeMs}, {"7", ms}};
            break;
        default:
            timings = {{"5", state.InboundLargeMs}, {"8", ms}};
            break;
    }
    for (const Timing& t : timings)
        if (t.ms < kMinJudgedMs)
            return std::string("test ") + t.id +
                   " took under 50 ms: too short to judge, choose a larger speed entry";
    return "";
}

}  // namespace

std::string ResultLine(const std::string& testName, const std::string& dir, const DateTime& now,
                       const std::string& testId, const std::string& msText,
                       const std::string& speedText, const std::string& comment) {
    return Quoted(testName) + ", " + Quoted(dir) + ", " + ShortDate(now) + ", " +
           ResultTimeField(now) + ", " + testId + ", " + msText + ", " + speedText + ", " +
           Quoted(comment);
}

TestResult RecordResult(RunContext& state, const std::string& testName, const std::string& dir,
                        int testIndex, double ms, double bytes, const DateTime& now,
                        std::string& newNote) {
    if (testIndex < 0 || testIndex >= kTestCount) throw RuntimeError(kErrSubscriptOutOfRange);

    TestResult result;
    result.index = testIndex;
    result.id = TestId(testIndex);
    result.name = TestName(testIndex);
    result.exactMs = ms;
    result.bytes = bytes;
    // Keep the order of operations: it decides the last bits of the stored speed.
    double speed = ms == 0 ? bytes / 1024 * 1000 : bytes / 1024 / ms * 1000;
    std::string note;
    if (testIndex >= 6) note = Unjudgeable(state, testIndex, ms);
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
            if (note.empty() && 1.5 * (state.InboundLargeMs + state.OutboundLargeMs) < ms)
                result.comment = kDuplexComment;
            break;
        case 7:
            if (note.empty() && 1.5 * state.OutboundLargeSpeed < speed)
                result.comment = kWindowComment;
            break;
        case 8:
            if (note.empty() && 1.5 * state.InboundLargeSpeed < speed)
                result.comment = kWindowComment;
            break;
        default:
            break;
    }

    result.ms = RoundHalfEven(ms);
    result.speed = RoundHalfEven(speed);
    result.sizeMB = RoundHalfEven(bytes / 1024 / 1024, 3);
    result.logLine = ResultLine(testName, dir, now, result.id, NumberToText(result.ms),
                                NumberToText(result.speed), result.comment);
    AppendToLog(state, result.logLine);
    // Said once per run, below the first result it concerns; the log keeps results only.
    newNote.clear();
    if (!note.empty() && state.DiagnosisNote.empty()) {
        state.DiagnosisNote = note;
        newNote = note;
    }
    return result;
}

void LogLine(const RunContext& state, const std::string& text) {
    AppendToLog(state, text);
}

}  // namespace wirepace
