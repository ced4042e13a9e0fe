// SPDX-License-Identifier: MIT
#include "cli/metrics.h"

#include <charconv>
#include <chrono>
#include <cmath>

#include "common/error.h"
#include "core/results_log.h"
#include "platform/platform.h"

namespace wirepace::cli {

namespace {

constexpr const char* kReplacement = "\xEF\xBF\xBD";

// Replaces each malformed sequence (a stray byte, a cut or overlong sequence, a surrogate, a
// code point past U+10FFFF) with U+FFFD: a collector refuses a file with such a label.
std::string ValidUtf8(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            out += static_cast<char>(lead);
            ++i;
            continue;
        }
        std::size_t length = 0;
        char32_t point = 0, smallest = 0;
        if ((lead & 0xE0) == 0xC0) {
            length = 2, point = lead & 0x1F, smallest = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3, point = lead & 0x0F, smallest = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4, point = lead & 0x07, smallest = 0x10000;
        } else {
            out += kReplacement;
            ++i;
            continue;
        }
        std::size_t taken = 1;
        while (taken < length && i + taken < text.size() &&
               (static_cast<unsigned char>(text[i + taken]) & 0xC0) == 0x80) {
            point = (point << 6) | (static_cast<unsigned char>(text[i + taken]) & 0x3F);
            ++taken;
        }
        if (taken == length && point >= smallest && point <= 0x10FFFF &&
            (point < 0xD800 || point > 0xDFFF))
            out.append(text, i, length);
        else
            out += kReplacement;
        i += taken;
    }
    return out;
}

// A sample value: whole numbers as digits, others in the shortest form that reads back
// exactly; never the regional decimal separator.
std::string Value(double value) {
    if (std::isfinite(value) && value == std::floor(value) && std::fabs(value) < 9.0e15)
        return std::to_string(static_cast<long long>(value));
    char buffer[64];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    return std::string(buffer, end);
}

// Whole milliseconds as seconds, written exactly ("1.5" for 1500, "0.007" for 7).
std::string SecondsFromMs(double ms) {
    if (!(std::isfinite(ms) && ms == std::floor(ms) && ms >= 0 && ms < 9.0e15))
        return Value(ms / 1000);
    const auto whole = static_cast<long long>(ms);
    std::string text = std::to_string(whole / 1000);
    const long long fraction = whole % 1000;
    if (fraction != 0) {
        std::string digits = std::to_string(fraction);
        digits.insert(0, 3 - digits.size(), '0');
        while (digits.back() == '0') digits.pop_back();
        text += "." + digits;
    }
    return text;
}

class Exposition {
  public:
    explicit Exposition(const MetricsInput& input)
        : runLabels_("name=\"" + LabelValue(input.name) + "\",target=\"" +
                     LabelValue(input.target) + "\",type=\"" + LabelValue(input.type) +
                     "\",speed=\"" + LabelValue(input.speed) + "\"") {}

    void Family(const char* name, const char* help) {
        text_ += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " gauge\n";
        family_ = name;
    }
    // One sample of the current family: the run's labels, then `more` (",key=\"value\"...").
    void Sample(const std::string& more, const std::string& value) {
        text_ += family_ + "{" + runLabels_ + more + "} " + value + "\n";
    }
    std::string Text() const { return text_ + "# EOF\n"; }

  private:
    std::string runLabels_;
    std::string family_;
    std::string text_;
};

std::string Label(const char* key, const std::string& value) {
    return std::string(",") + key + "=\"" + LabelValue(value) + "\"";
}

}  // namespace

std::string LabelValue(const std::string& text) {
    std::string out;
    for (char c : ValidUtf8(text)) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '"')
            out += "\\\"";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

std::string MetricsText(const MetricsInput& input) {
    // How the invocation ended: an error outside a run, else the last run's outcome; fewer
    // runs than asked for without an error means a stop came between two runs.
    const RunResult* last = input.runs.empty() ? nullptr : &input.runs.back();
    RunOutcome outcome = RunOutcome::Interrupted;
    int errorNumber = 0;
    if (input.failure) {
        outcome = RunOutcome::Error;
        errorNumber = *input.failure;
    } else if (last && last->outcome == RunOutcome::Error) {
        outcome = RunOutcome::Error;
        errorNumber = last->errorNumber;
    } else if (last && last->outcome == RunOutcome::Finished &&
               static_cast<int>(input.runs.size()) >= input.repeat) {
        outcome = RunOutcome::Finished;
    }

    Exposition metrics(input);
    metrics.Family("wirepace_run_outcome",
                   "How the last wirepace-cli run ended: 1 for its outcome (finished, "
                   "interrupted or error), 0 for the others.");
    const std::pair<RunOutcome, const char*> outcomes[] = {{RunOutcome::Finished, "finished"},
                                                           {RunOutcome::Interrupted, "interrupted"},
                                                           {RunOutcome::Error, "error"}};
    for (const auto& [each, text] : outcomes)
        metrics.Sample(Label("outcome", text), outcome == each ? "1" : "0");
    metrics.Family("wirepace_run_error_number",
                   "Number of the error the run ended with (53 file not found, 61 disk full, "
                   "70 permission denied, 76 path not found, ...); 0 without an error or when "
                   "the error has no number.");
    metrics.Sample("", std::to_string(errorNumber));
    metrics.Family("wirepace_run_timestamp_seconds",
                   "When the run started, in seconds since 1970-01-01 00:00 UTC.");
    metrics.Sample("", std::to_string(input.startedAt));

    // Each test of each run: the labels that tell them apart, then the value.
    auto eachTest = [&](const auto& sample) {
        for (std::size_t r = 0; r < input.runs.size(); ++r)
            for (const TestResult& t : input.runs[r].tests)
                sample(Label("run", std::to_string(r + 1)) + Label("test_id", t.id) +
                           Label("test_name", t.name),
                       t);
    };
    metrics.Family("wirepace_test_speed_bytes_per_second",
                   "Speed of the test, in bytes per second (the KB/s of the results log times "
                   "1024).");
    eachTest([&](const std::string& labels, const TestResult& t) {
        metrics.Sample(labels, Value(t.speed * 1024));
    });
    metrics.Family("wirepace_test_time_seconds",
                   "Time the test took, in seconds (tests 6 to 8: the slowest drone's).");
    eachTest([&](const std::string& labels, const TestResult& t) {
        metrics.Sample(labels, SecondsFromMs(t.ms));
    });
    metrics.Family("wirepace_test_size_bytes",
                   "Bytes the test moved (tests 6 to 8: all the drones' copies together).");
    eachTest([&](const std::string& labels, const TestResult& t) {
        metrics.Sample(labels, Value(t.bytes));
    });
    metrics.Family("wirepace_test_diagnosis",
                   "1 when the test raised the diagnosis: duplex_mismatch (Possible Duplex "
                   "Mismatch) or window_limitation (Possible Netbios/TCP Window limitation).");
    eachTest([&](const std::string& labels, const TestResult& t) {
        metrics.Sample(labels + Label("diagnosis", "duplex_mismatch"),
                       t.comment == kDuplexComment ? "1" : "0");
        metrics.Sample(labels + Label("diagnosis", "window_limitation"),
                       t.comment == kWindowComment ? "1" : "0");
    });
    return metrics.Text();
}

MetricsOutput::MetricsOutput(const Options& options)
    : toOutput_(options.format == OutputFormat::OpenMetrics), file_(options.metricsFile) {
    input_.name = options.name;
    input_.target = options.dir;
    input_.type = options.type;
    input_.speed = options.speed;
    input_.repeat = options.repeat;
    input_.startedAt = std::chrono::duration_cast<std::chrono::seconds>(
                           std::chrono::system_clock::now().time_since_epoch())
                           .count();
}

int MetricsOutput::EndWithError(int number, int exitCode, std::ostream& out, std::ostream& err) {
    input_.failure = number;
    return Write(exitCode, out, err);
}

int MetricsOutput::End(int exitCode, const std::string& target, const std::vector<RunResult>& runs,
                       std::ostream& out, std::ostream& err) {
    input_.target = target;
    input_.runs = runs;
    return Write(exitCode, out, err);
}

int MetricsOutput::Write(int exitCode, std::ostream& out, std::ostream& err) {
    if (!toOutput_ && file_.empty()) return exitCode;
    const std::string text = MetricsText(input_);
    if (toOutput_) out << text;
    if (file_.empty()) return exitCode;
    try {
        platform::ReplaceFileWhole(file_, text);
    } catch (const RuntimeError& e) {
        err << "wirepace-cli: cannot write the metrics file " << file_ << ": " << e.Text() << '\n';
        return exitCode == 0 ? 1 : exitCode;
    }
    return exitCode;
}

}  // namespace wirepace::cli
