// SPDX-License-Identifier: MIT
#include "core/run_input.h"

#include <cstdio>

namespace wirepace {

namespace {

std::optional<std::string> ControlCharacterIn(const std::string& what, const std::string& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte >= 0x20 && byte != 0x7F) continue;
        char code[8];
        std::snprintf(code, sizeof code, "0x%02X", byte);
        return what +
               " must not contain control characters (such as line breaks or tabs); it has " +
               code + " at character " + std::to_string(i + 1) + ".";
    }
    return std::nullopt;
}

// The log writes the name and the directory between double quotes: one inside would end the
// field early, and the log's readers would take the rest for the next fields.
std::optional<std::string> QuoteIn(const std::string& what, const std::string& text) {
    const auto at = text.find('"');
    if (at == std::string::npos) return std::nullopt;
    return what + " must not contain \" (a double quote): the results log uses it to enclose " +
           "the field; it has one at character " + std::to_string(at + 1) + ".";
}

}  // namespace

std::optional<std::string> CheckRunInput(const std::string& testId, const std::string& dir,
                                         const std::string& account) {
    if (auto problem = ControlCharacterIn("The test name", testId)) return problem;
    if (auto problem = QuoteIn("The test name", testId)) return problem;
    if (auto problem = ControlCharacterIn("The target directory", dir)) return problem;
    if (auto problem = QuoteIn("The target directory", dir)) return problem;
    if (dir.find('?') != std::string::npos)
        return std::string(
            "The target directory must not contain \"?\": the drones use it to separate the "
            "directory from the file name.");
    if (auto problem = ControlCharacterIn("The account name", account)) return problem;
    return std::nullopt;
}

}  // namespace wirepace
