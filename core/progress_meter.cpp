// SPDX-License-Identifier: MIT
#include "core/progress_meter.h"

#include <algorithm>
#include <numeric>

#include "common/number_format.h"
#include "common/pause.h"
#include "core/catalogue.h"

namespace wirepace {

namespace {

// The bytes of each whole second between the marks, then those of the part of a second after
// the last mark (if the test lasted past it, or the test was shorter than a second).
std::vector<double> Intervals(const std::vector<double>& marks, double last, bool partSecond) {
    std::vector<double> intervals;
    for (std::size_t i = 1; i < marks.size(); ++i) intervals.push_back(marks[i] - marks[i - 1]);
    if (partSecond || intervals.empty()) intervals.push_back(last - marks.back());
    return intervals;
}

}  // namespace

std::string ProgressText(const TestProgress& p) {
    auto mb = [](double bytes) { return FormatNumber(bytes / 1048576, "##,##0.0##"); };
    std::string text =
        "Test " + std::to_string(p.index + 1) + " of " + std::to_string(kTestCount) + ": ";
    if (p.droneBytes.empty() || p.totalBytes <= 0) {
        text += mb(p.bytes) + " of " + mb(p.totalBytes) + " MB";
    } else {
        const double share = p.totalBytes / static_cast<double>(p.droneBytes.size());
        text += "drones";
        for (double bytes : p.droneBytes) text += " " + FormatNumber(100 * bytes / share, "##0");
        text += " %";
    }
    return text + ", " + FormatNumber(p.rateKBs, "##,##0") + " KB/s, " +
           FormatNumber(p.elapsedMs / 1000, "##,##0.0") + " s";
}

int ProgressPermille(const TestProgress& p) {
    if (p.totalBytes <= 0) return 0;
    return static_cast<int>(std::clamp(1000 * p.bytes / p.totalBytes, 0.0, 1000.0));
}

ProgressMeter::ProgressMeter(RunObserver& observer, int index, double totalBytes, int drones)
    : observer_(observer), droneMarks_(static_cast<std::size_t>(drones)) {
    progress_.index = index;
    progress_.id = TestId(index);
    progress_.totalBytes = totalBytes;
    progress_.droneBytes.assign(static_cast<std::size_t>(drones), 0);
}

void ProgressMeter::Start() {
    startMs_ = lastReportMs_ = lastUpdateMs_ = TickMs();
    marks_ = {0};
    for (auto& marks : droneMarks_) marks = {0};
    Report(startMs_);
}

void ProgressMeter::Update(double bytes) {
    Record(TickMs(), bytes, nullptr);
}

void ProgressMeter::UpdateDrones(const std::vector<std::int64_t>& bytes) {
    std::vector<double> drones = progress_.droneBytes;
    for (std::size_t d = 0; d < drones.size() && d < bytes.size(); ++d)
        drones[d] = static_cast<double>(bytes[d]);
    Record(TickMs(), std::accumulate(drones.begin(), drones.end(), 0.0), &drones);
}

void ProgressMeter::Record(double now, double bytes, const std::vector<double>* drones) {
    lastUpdateMs_ = now;
    // A second's mark gets the bytes known to have moved by then: those of the last update
    // before it. What arrives after the mark counts for the next second.
    while (now - startMs_ >= kSampleIntervalMs * static_cast<double>(marks_.size())) {
        marks_.push_back(progress_.bytes);
        for (std::size_t d = 0; d < droneMarks_.size(); ++d)
            droneMarks_[d].push_back(progress_.droneBytes[d]);
    }
    progress_.bytes = bytes;
    if (drones) progress_.droneBytes = *drones;
    if (now - lastReportMs_ >= kProgressEveryMs) Report(now);
}

void ProgressMeter::Report(double now) {
    progress_.elapsedMs = now - startMs_;
    const double seconds = (now - lastReportMs_) / 1000;
    if (seconds > 0) progress_.rateKBs = (progress_.bytes - lastReportBytes_) / 1024 / seconds;
    lastReportMs_ = now;
    lastReportBytes_ = progress_.bytes;
    observer_.Progress(progress_);
}

void ProgressMeter::Finish(double bytes, bool atLastUpdate) {
    endMs_ = atLastUpdate ? lastUpdateMs_ : TickMs();
    Record(endMs_, bytes, nullptr);
    Report(endMs_);
}

void ProgressMeter::FillSamples(TestResult& result) const {
    const bool partSecond =
        endMs_ - startMs_ > kSampleIntervalMs * static_cast<double>(marks_.size() - 1);
    result.intervals = Intervals(marks_, progress_.bytes, partSecond);
    result.samplesMs = endMs_ - startMs_;
    result.droneIntervals.clear();
    for (std::size_t d = 0; d < droneMarks_.size(); ++d)
        result.droneIntervals.push_back(
            Intervals(droneMarks_[d], progress_.droneBytes[d], partSecond));
}

}  // namespace wirepace
