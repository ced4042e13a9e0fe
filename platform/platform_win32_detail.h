// SPDX-License-Identifier: MIT
// The pure pieces of the Windows platform layer, apart so the Windows tests can reach them:
// text conversion, command-line quoting and splitting, locale pictures, error numbers and work
// roots.
#pragma once

#include <functional>
#include <string>

#include "platform/text_win32.h"

namespace wirepace::platform::win32 {

// The program path as the first word of a command line: quoted when it holds a blank or tab
// (the first word is split without escapes, so a path needs no more).
std::string QuoteProgramPath(const std::string& path);

// Everything after the program path of a command line, leading blanks and tabs removed. A
// quoted program path ends at the next quote; an unquoted one at the first blank or tab.
std::wstring CommandLineTail(const std::wstring& commandLine);

// Locale pictures (LOCALE_SSHORTDATE, LOCALE_STIMEFORMAT) turned into our date patterns. The
// locale's separator becomes "/" (date) or ":" (time); names of days and months and the era
// have no place in the pattern language and are left out. The AM/PM marker ("tt") becomes
// "AMPM", which makes the hours count twelve. An empty result means "keep the default".
std::string DatePatternFromPicture(const std::string& picture, const std::string& separator);
std::string TimePatternFromPicture(const std::string& picture, const std::string& separator);

// The run-time error number for a GetLastError value of a failed file operation.
int ErrorNumberFor(unsigned long win32Error);

// True when the folder is a share path (starts with two backslashes) rather than a drive.
bool IsShareFolder(const std::string& folder);

// The controller's work root: the root of the program's drive (its first three characters)
// when a file can be created there, else the per-user folder "Wirepace" under
// %LOCALAPPDATA% (a standard user cannot write the root of the system drive). Without
// %LOCALAPPDATA% the root stays, and the run reports what fails there.
std::string ControllerWorkRoot(const std::string& programFolder,
                               const std::function<bool(const std::string&)>& writable,
                               const std::string& localAppData);
// A drone's work root: its own folder, which is where the controller wrote it.
std::string DroneWorkRoot(const std::string& programFolder);

// A long-path or device prefix ("\\?\C:\", "\\?\UNC\server\", "\??\") taken off, so the path
// reads as the user would write it.
std::string WithoutLongPathPrefix(const std::string& path);

}  // namespace wirepace::platform::win32
