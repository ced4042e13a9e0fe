// SPDX-License-Identifier: MIT
#include "core/share_connection.h"

#include <cctype>
#include <sstream>
#include <utility>
#include <vector>

#include "common/error.h"

namespace wirepace {

std::string FreeDriveLetterIn(const std::optional<std::string>& driveList) {
    if (!driveList) return "";
    std::string text = *driveList;
    for (auto& c : text)
        if (c == '\0') c = ' ';
    std::istringstream words(text);
    std::string inUse;
    for (std::string entry; words >> entry;)
        inUse += static_cast<char>(std::toupper(static_cast<unsigned char>(entry[0])));
    for (char letter = 'A'; letter <= 'Z'; ++letter)
        if (inUse.find(letter) == std::string::npos) return std::string(1, letter) + ":";
    return "";  // every letter in use: reported like an unreadable list
}

std::string GetFreeDriveLetter() {
    return FreeDriveLetterIn(platform::LogicalDriveStrings());
}

platform::ShareTarget ParseSharePath(const std::string& dir) {
    std::vector<std::string> parts;
    std::string part;
    const std::string rest = dir.size() >= 2 ? dir.substr(2) : std::string();
    for (const char c : rest + "/") {
        if (c == '/' || c == '\\') {
            if (part == "." || part == "..")
                throw RuntimeError(kErrPathNotFound,
                                   "A share path cannot hold \"" + part + "\": \"" + dir + "\"");
            if (!part.empty() || parts.size() < 2) parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    if (!platform::IsSharePath(dir) || parts.size() < 2 || parts[0].empty() || parts[1].empty())
        throw RuntimeError(
            kErrPathNotFound,
            "A share path names a server and a share (//server/share): \"" + dir + "\"");
    return {parts[0], parts[1]};
}

void ConnectShare(RunContext& state, const std::string& dir, const std::string& password,
                  const std::string& account) {
    try {
        const platform::ShareTarget target = ParseSharePath(dir);
        state.MappedShare =
            platform::MapShare(target, state.ShareDrive, account, password, state.AppDrive);
    } catch (...) {
        state.ShareDrive.clear();  // nothing was mapped to it
        throw;
    }
}

bool ShareConnected(const RunContext& state) {
    return state.MappedShare != nullptr;
}

void DisconnectShare(RunContext& state) {
    // Cleared first, so no later run disconnects a mapping it did not make.
    state.ShareDrive.clear();
    const auto mapping = std::exchange(state.MappedShare, nullptr);
    if (mapping) mapping->Unmap();
}

void RemoveStaleShareMapping(const RunContext& state) {
    if (!state.AppDrive.empty()) platform::RemoveStaleShareMapping(state.AppDrive);
}

std::string FilesDir(const RunContext& state, const std::string& shownDir) {
    if (!platform::IsSharePath(shownDir)) return shownDir;
    if (state.MappedShare) return state.MappedShare->LocalPath(shownDir);
    // Windows reaches a share by its path; elsewhere "//server/share" would be a local folder.
    return platform::SharesMapToDriveLetters() ? shownDir : std::string();
}

}  // namespace wirepace
