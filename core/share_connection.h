// SPDX-License-Identifier: MIT
// Opening the connection to a share with the user's account for one run, and ending it again.
// Windows connects the share to a free drive letter; POSIX mounts it privately under the work
// root. Either way the window keeps showing the share path, and the file operations ask
// FilesDir where that path is reached.
#pragma once

#include <optional>
#include <string>

#include "core/run_context.h"
#include "platform/platform.h"

namespace wirepace {

// A free drive letter and ":" for the given drive-list text (entries separated by NUL), or ""
// when the list could not be read (nullopt) or every letter is in use.
std::string FreeDriveLetterIn(const std::optional<std::string>& driveList);

// The same for the drives of this machine.
std::string GetFreeDriveLetter();

// The server and share a share path names (either separator, trailing separators allowed).
// Raises RuntimeError 76 with a clear description when it names no server or no share, or
// holds a "." or ".." part (which would lead out of the share).
platform::ShareTarget ParseSharePath(const std::string& dir);

// Maps the share of `dir` with the account for this run (on Windows to state.ShareDrive) and
// keeps the mapping in the state. A mapping that fails raises at once, saying why.
void ConnectShare(RunContext& state, const std::string& dir, const std::string& password,
                  const std::string& account);

// True while this run holds a mapping.
bool ShareConnected(const RunContext& state);

// Ends this run's mapping, if any, and clears it from the state (also when ending it fails,
// which raises).
void DisconnectShare(RunContext& state);

// Removes the mapping a killed run left behind. Raises when a left mount cannot be removed.
void RemoveStaleShareMapping(const RunContext& state);

// The directory file operations use for the directory the window shows: the mount folder
// of a mapped share on POSIX, the shown text itself otherwise. A share path that is not
// mapped on a system that cannot reach shares by their path gives "", so nothing is ever
// created or deleted under a look-alike local path.
std::string FilesDir(const RunContext& state, const std::string& shownDir);

}  // namespace wirepace
