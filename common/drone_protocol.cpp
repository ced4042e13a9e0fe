// SPDX-License-Identifier: MIT
#include "common/drone_protocol.h"

#include <cctype>

#include "common/number_format.h"

namespace wirepace {

namespace {

constexpr std::string_view kTo = "-TO";
constexpr std::string_view kFrom = "-FROM";

bool AllDigits(std::string_view text) {
    if (text.empty()) return false;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

// "Test" & KB & ".jnk"
bool IsTestFileName(std::string_view name) {
    constexpr std::string_view prefix = "Test", suffix = ".jnk";
    if (name.size() <= prefix.size() + suffix.size()) return false;
    if (name.substr(0, prefix.size()) != prefix) return false;
    if (name.substr(name.size() - suffix.size()) != suffix) return false;
    return AllDigits(name.substr(prefix.size(), name.size() - prefix.size() - suffix.size()));
}

bool IsDroneDigit(char c) {
    return c >= '1' && c <= '0' + kMaxDrones;
}

// n & "Test" & KB & ".jnk"
bool IsNumberedTestFileName(std::string_view name) {
    return name.size() > 1 && IsDroneDigit(name[0]) && IsTestFileName(name.substr(1));
}

}  // namespace

std::string DroneArgumentText(DroneDirection direction, const std::string& dir,
                              const std::string& file) {
    return std::string(direction == DroneDirection::To ? kTo : kFrom) + dir + "?" + file;
}

std::optional<DroneRequest> ParseDroneArguments(std::string_view argText) {
    DroneRequest request;
    std::string_view rest;
    if (argText.substr(0, kTo.size()) == kTo) {
        request.direction = DroneDirection::To;
        rest = argText.substr(kTo.size());
    } else if (argText.substr(0, kFrom.size()) == kFrom) {
        request.direction = DroneDirection::From;
        rest = argText.substr(kFrom.size());
    } else {
        return std::nullopt;
    }
    const auto first = rest.find('?');
    if (first == std::string_view::npos) {
        request.dir = std::string(rest);
        return request;
    }
    request.dir = std::string(rest.substr(0, first));
    const auto fileStart = first + 1;
    const auto second = rest.find('?', fileStart);
    request.file = std::string(rest.substr(
        fileStart, second == std::string_view::npos ? std::string_view::npos : second - fileStart));
    return request;
}

CopyPaths CopyPathsFor(const std::string& appDrive, DroneDirection direction,
                       const std::string& dir, const std::string& file) {
    if (direction == DroneDirection::To) return {appDrive + file, dir + file};
    return {dir + file, appDrive + file};
}

std::string DroneFileName(int n) {
    return "Drone" + std::to_string(n) + ".exe";
}

std::string WorkFileName(int n, const std::string& largeTestFile) {
    return std::to_string(n) + largeTestFile;
}

std::string ResultFileName(const std::string& file) {
    return "TXT" + file;
}

std::string ErrorFileName(const std::string& file) {
    return "ERR" + file;
}

std::string ProgressFileName(const std::string& file) {
    return "PRG" + file;
}

std::string ProgressLine(std::int64_t bytes) {
    return std::to_string(bytes) + "\r\n";
}

std::optional<std::int64_t> ParseProgressLine(const std::string& line) {
    // A line caught while the drone rewrites it is empty or cut short of its line end.
    const auto end = line.find('\r');
    if (end == std::string::npos || end == 0 || !AllDigits(std::string_view(line).substr(0, end)) ||
        end > 18)
        return std::nullopt;
    return std::stoll(line.substr(0, end));
}

std::string ReleaseLine(std::int64_t pieceBytes) {
    return ProgressLine(pieceBytes);
}

std::optional<std::int64_t> ParseReleaseLine(const std::string& text) {
    return ParseProgressLine(text);
}

std::string ResultFileLine(double elapsedMs) {
    return PrintForm(RoundHalfEven(elapsedMs)) + "\r\n";
}

std::optional<double> ParseResultFileLine(const std::string& line) {
    return TextToNumber(line);
}

std::string ErrorLine(int number, const std::string& description) {
    std::string text = description;
    // One line whatever the description holds.
    for (char& c : text)
        if (c == '\r' || c == '\n') c = ' ';
    return std::to_string(number) + " " + text + "\r\n";
}

std::optional<DroneError> ParseErrorLine(const std::string& line) {
    const auto blank = line.find(' ');
    if (blank == std::string::npos || !AllDigits(std::string_view(line).substr(0, blank)) ||
        blank > 9)
        return std::nullopt;
    return DroneError{std::stoi(line.substr(0, blank)), line.substr(blank + 1)};
}

bool IsWorkRootFileName(std::string_view name) {
    if (name == kReleaseFile || name == kStopFile) return true;
    if (IsTestFileName(name) || IsNumberedTestFileName(name)) return true;
    if (name.size() == 10 && name.substr(0, 5) == "Drone" && IsDroneDigit(name[5]) &&
        name.substr(6) == ".exe")
        return true;
    for (std::string_view prefix :
         {std::string_view("TXT"), std::string_view("ERR"), std::string_view("PRG")})
        if (name.substr(0, prefix.size()) == prefix &&
            IsNumberedTestFileName(name.substr(prefix.size())))
            return true;
    return false;
}

bool IsTargetFileName(std::string_view name, const std::vector<std::string>& sizesKB) {
    if (IsNumberedTestFileName(name)) name.remove_prefix(1);
    if (!IsTestFileName(name)) return false;
    const std::string_view kb = name.substr(4, name.size() - 4 - 4);  // "Test" KB ".jnk"
    for (const auto& size : sizesKB)
        if (kb == size) return true;
    return false;
}

}  // namespace wirepace
