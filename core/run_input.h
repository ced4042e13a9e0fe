// SPDX-License-Identifier: MIT
// What a run accepts as its test name, target directory and account, checked before anything
// runs: the log is a line-oriented text, and the drone's argument separates the directory from
// the file name with "?".
#pragma once

#include <optional>
#include <string>

namespace wirepace {

// A message saying what is wrong with the input, or nullopt when a run may start with it.
// Refused: control characters (bytes below 0x20 and 0x7F) in any of the three, which would split
// or forge log lines; a double quote in the name or the directory, which the log encloses in
// double quotes; and "?" in the directory.
std::optional<std::string> CheckRunInput(const std::string& testId, const std::string& dir,
                                         const std::string& account);

}  // namespace wirepace
