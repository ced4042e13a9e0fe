// SPDX-License-Identifier: MIT
#include "core/share_connection.h"

#include <cctype>
#include <sstream>

#include "platform/platform.h"

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

std::vector<std::string> ConnectArguments(const std::string& drive, const std::string& share,
                                          const std::string& password, const std::string& account) {
    return {"use", drive, share, password, "/user:" + account};
}

std::vector<std::string> DisconnectArguments(const std::string& drive) {
    return {"use", drive, "/delete"};
}

namespace {
std::string NetProgram() {
    const auto root = platform::GetEnv("SystemRoot");
    return (root ? *root : std::string("C:\\Windows")) + "\\System32\\net.exe";
}
}  // namespace

void ConnectShare(const std::string& drive, const std::string& share, const std::string& password,
                  const std::string& account) {
    // Each piece is one argument: a password with blanks or shell characters reaches the
    // command intact, and no command interpreter is there to run anything else.
    platform::StartProgramArgs(NetProgram(), ConnectArguments(drive, share, password, account),
                               platform::WindowStyle::Hidden);
}

void DisconnectShare(const std::string& drive) {
    platform::StartProgramArgs(NetProgram(), DisconnectArguments(drive),
                               platform::WindowStyle::Hidden);
}

}  // namespace wirepace
