// SPDX-License-Identifier: MIT
// Remembered settings on POSIX: a small JSON object of strings in the user's configuration
// folder, read only when it is this user's own plain file, replaced in one step.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <map>
#include <string>

#include <nlohmann/json.hpp>

#include "common/error.h"
#include "platform/files_posix.h"
#include "platform/platform.h"

namespace wirepace::platform {

namespace {

// Far above what four short values take; a larger file is not ours.
constexpr std::size_t kMaxBytes = 64 * 1024;

}  // namespace

std::map<std::string, std::string> ReadUserSettings(const std::string& location) {
    // No link followed, no wait at a pipe: the checks below run on what was opened.
    const int fd = ::open(location.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return {};
    std::string text;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
        static_cast<std::size_t>(st.st_size) <= kMaxBytes) {
        // Stops past the bound: a file that grew while being read is refused below.
        if (posix::ReadAll(fd, text, kMaxBytes) != 0) text.clear();
    }
    ::close(fd);
    if (text.empty() || text.size() > kMaxBytes) return {};
    const nlohmann::json doc = nlohmann::json::parse(text, nullptr, false);
    if (doc.is_discarded() || !doc.is_object()) return {};
    std::map<std::string, std::string> values;
    for (const auto& [name, value] : doc.items()) {
        if (!value.is_string()) return {};
        values[name] = value.get<std::string>();
    }
    return values;
}

void WriteUserSettings(const std::string& location,
                       const std::map<std::string, std::string>& values) {
    posix::CheckPath(location);
    nlohmann::json doc = nlohmann::json::object();
    for (const auto& [name, value] : values) doc[name] = value;
    // Text that is not UTF-8 is written with replacement characters instead of failing.
    const std::string bytes =
        doc.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    // rename() replaces whatever is under the name, a link included, without following it.
    posix::ReplaceThroughRename(location, bytes, 0600);
}

}  // namespace wirepace::platform
