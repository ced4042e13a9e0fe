// SPDX-License-Identifier: MIT
// Opening the connection to a share with the user's account by mapping it to a free drive
// letter, and removing that mapping again.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/benchmark_state.h"

namespace wirepace {

// A free drive letter and ":" for the given drive-list text (entries separated by NUL), or ""
// when the list could not be read (nullopt) or every letter is in use.
std::string FreeDriveLetterIn(const std::optional<std::string>& driveList);

// The same for the drives of this machine.
std::string GetFreeDriveLetter();

// The arguments of the mapping commands, each passed to "net use" as one argument.
std::vector<std::string> ConnectArguments(const std::string& drive, const std::string& share,
                                          const std::string& password, const std::string& account);
std::vector<std::string> DisconnectArguments(const std::string& drive);

// Starts the mapping command hidden, without a command interpreter, without waiting.
void ConnectShare(const std::string& drive, const std::string& share, const std::string& password,
                  const std::string& account);
void DisconnectShare(const std::string& drive);

}  // namespace wirepace
