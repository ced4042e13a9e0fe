// SPDX-License-Identifier: MIT
#pragma once

#include <filesystem>
#include <string>

namespace wirepace {

// Paths travel as UTF-8 text; this turns one into a path on every platform.
std::filesystem::path PathFromUtf8(const std::string& utf8);

// True when the length of the file can be read twice in a row and both readings agree.
// Any failure (missing file, no access, bad path, a directory) is simply false.
bool FileExists(const std::string& path);

}  // namespace wirepace
