// SPDX-License-Identifier: MIT
#include "common/file_exists.h"

#include <system_error>

namespace wirepace {

std::filesystem::path PathFromUtf8(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

bool FileExists(const std::string& path) {
    if (path.empty() || path.find('\0') != std::string::npos) return false;
    std::error_code ec;
    const auto p = PathFromUtf8(path);
    const auto first = std::filesystem::file_size(p, ec);
    if (ec) return false;
    const auto second = std::filesystem::file_size(p, ec);
    return !ec && first == second;
}

}  // namespace wirepace
