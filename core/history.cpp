// SPDX-License-Identifier: MIT
#include "core/history.h"

#include <algorithm>

#include "common/number_format.h"
#include "core/catalogue.h"
#include "platform/platform.h"

namespace wirepace {

namespace {

constexpr std::string_view kBannerStart = "-- Starting ";
constexpr std::string_view kBannerTime = " test at ";
constexpr std::string_view kLineMarkEnd = " --";

struct ResultFields {
    std::string name, dir;
    LoggedTest test;
};

int CatalogueIndex(std::string_view id) {
    for (int i = 0; i < kTestCount; ++i)
        if (id == kCatalogue[static_cast<std::size_t>(i)].id) return i;
    return -1;
}

bool PlainField(std::string_view field) {
    return !field.empty() && field.find('"') == std::string_view::npos;
}

// `"name", "dir", date, time, id, ms, speed, "comment"`, read from both ends: the comment is
// one of the program's own texts and the four fields before it hold no ", ", the date no
// quote, so only the name and the directory, which may hold anything the user typed, are left
// in the middle. Where a banner
// named the run, its name splits them; otherwise the first `", "` does.
std::optional<ResultFields> ParseResultLine(std::string_view line, const std::string* bannerName) {
    if (line.size() < 4 || line.front() != '"' || line.back() != '"') return std::nullopt;
    const auto commentAt = line.rfind(", \"", line.size() - 4);
    if (commentAt == std::string_view::npos) return std::nullopt;
    ResultFields r;
    const std::string_view comment = line.substr(commentAt + 3, line.size() - commentAt - 4);
    if (comment.find('"') != std::string_view::npos) return std::nullopt;
    r.test.comment = comment;

    std::string_view head = line.substr(0, commentAt);
    std::string_view fields[4];  // speed, ms, id, time: from the right
    for (std::string_view& field : fields) {
        const auto at = head.rfind(", ");
        if (at == std::string_view::npos) return std::nullopt;
        field = head.substr(at + 2);
        head = head.substr(0, at);
    }
    const auto dateAt = head.rfind("\", ");
    if (dateAt == std::string_view::npos) return std::nullopt;
    const std::string_view date = head.substr(dateAt + 3);
    head = head.substr(0, dateAt + 1);
    if (head.size() < 6 || head.front() != '"' || head.back() != '"') return std::nullopt;
    const std::string_view inner = head.substr(1, head.size() - 2);
    std::size_t split = std::string_view::npos;
    if (bannerName && inner.size() >= bannerName->size() + 4 &&
        inner.substr(0, bannerName->size()) == *bannerName &&
        inner.substr(bannerName->size(), 4) == "\", \"")
        split = bannerName->size();
    else
        split = inner.find("\", \"");
    if (split == std::string_view::npos) return std::nullopt;
    r.name = inner.substr(0, split);
    r.dir = inner.substr(split + 4);

    const std::string_view speed = fields[0], ms = fields[1], id = fields[2], time = fields[3];
    r.test.index = CatalogueIndex(id);
    const auto msValue = TextToNumber(ms);
    const auto speedValue = TextToNumber(speed);
    if (r.test.index < 0 || !msValue || !speedValue || !PlainField(date) || !PlainField(time) ||
        r.dir.empty())
        return std::nullopt;
    r.test.id = id;
    r.test.ms = *msValue;
    r.test.speed = *speedValue;
    r.test.date = date;
    r.test.time = time;
    r.test.line = line;
    return r;
}

std::string NormalTarget(const std::string& dir) {
    std::string normal = dir;
    std::replace(normal.begin(), normal.end(), '\\', '/');
    while (normal.size() > 1 && normal.back() == '/') normal.pop_back();
    return normal;
}

}  // namespace

const LoggedTest* LoggedRun::Find(int index) const {
    for (const LoggedTest& t : tests)
        if (t.index == index) return &t;
    return nullptr;
}

LogHistory ParseResultsLog(std::string_view text) {
    LogHistory history;
    std::optional<LoggedRun> run;
    bool banner = false;
    std::string bannerName;
    auto finish = [&] {
        if (run && !run->tests.empty()) {
            history.runs.push_back(std::move(*run));
        } else if (run && banner) {
            ++history.runsWithoutResults;
        }
        run.reset();
        banner = false;
    };

    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.find_first_not_of(' ') == std::string_view::npos) continue;

        if (line.size() > 6 && line.substr(0, 3) == "-- " && line.ends_with(kLineMarkEnd)) {
            const auto timeAt = line.rfind(kBannerTime);
            if (line.starts_with(kBannerStart) && timeAt != std::string_view::npos &&
                timeAt >= kBannerStart.size()) {
                finish();
                run.emplace();
                banner = true;
                bannerName = line.substr(kBannerStart.size(), timeAt - kBannerStart.size());
                const auto timeStart = timeAt + kBannerTime.size();
                run->startTime =
                    line.substr(timeStart, line.size() - kLineMarkEnd.size() - timeStart);
            } else if (run) {
                run->otherLines.emplace_back(line);
            } else {
                ++history.skippedLines;
            }
            continue;
        }

        auto result = ParseResultLine(line, banner ? &bannerName : nullptr);
        if (!result) {
            ++history.skippedLines;
            continue;
        }
        // A result continues the run when it names the same test and target and comes later in
        // the sequence; otherwise it starts a run of its own (a log without that run's banner).
        bool continues = false;
        if (run && run->tests.empty()) {
            continues = !banner || result->name == bannerName;
        } else if (run) {
            continues = result->name == run->name && result->dir == run->dir &&
                        result->test.index > run->tests.back().index;
        }
        if (!continues) {
            finish();
            run.emplace();
        }
        if (run->tests.empty()) {
            run->name = result->name;
            run->dir = result->dir;
        }
        run->tests.push_back(std::move(result->test));
    }
    finish();
    return history;
}

LogHistory ReadResultsLog(const std::string& path) {
    if (platform::KindOf(path) == platform::EntryKind::Missing) return {};
    return ParseResultsLog(platform::ReadTextFile(path));
}

bool SameTarget(const std::string& a, const std::string& b) {
    return NormalTarget(a) == NormalTarget(b);
}

std::vector<const LoggedRun*> SelectRuns(const LogHistory& history,
                                         const std::optional<std::string>& name,
                                         const std::optional<std::string>& dir) {
    std::vector<const LoggedRun*> selected;
    for (const LoggedRun& run : history.runs) {
        if (name && run.name != *name) continue;
        if (dir && !SameTarget(run.dir, *dir)) continue;
        selected.push_back(&run);
    }
    return selected;
}

}  // namespace wirepace
