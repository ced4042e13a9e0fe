// SPDX-License-Identifier: MIT
// What the programs need from the operating system, behind one interface. One implementation
// file per platform (platform_posix.cpp, platform_win32.cpp); CMake picks the one to build.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace wirepace::platform {

// ---- locations -------------------------------------------------------------------------------

// Full path of the running program file, and the folder that holds it ending in a separator.
std::string ProgramPath();
std::string ProgramFolder();

// The local folder every work file of the controller lies in, ending in a separator, created
// if missing. Windows: the first three characters of the program folder, or, when that drive
// root cannot be written, %LOCALAPPDATA%\Wirepace\. POSIX: the work root
// ($XDG_CACHE_HOME/wirepace/, default ~/.cache/wirepace/).
std::string ControllerAppDrive();

// The same for a drone: where its handshake files lie, its own folder (Windows: the folder the
// controller wrote it to).
std::string DroneAppDrive();

// The folder of the results log, ending in a separator, created if missing. Windows: the
// program folder. POSIX: $XDG_DATA_HOME/wirepace/ (default ~/.local/share/wirepace/).
std::string LogFolder();

// True when the program itself runs from a share path (Windows refuses that at start).
bool ProgramRunsFromShare();

// The value of an environment variable, or nullopt when it is not set.
std::optional<std::string> GetEnv(const std::string& name);

// ---- the system's conventions ----------------------------------------------------------------

// Reads dates, times and the decimal separator from the system and installs them (SetRegional).
void LoadRegionalSettings();

// True when the target directory names a share rather than a local or mounted folder.
bool IsSharePath(const std::string& dir);

// True where a share can be mapped to a drive letter with an account (Windows). Elsewhere a
// share has to be mounted by the user and its folder given instead.
bool CanMapShares();

// The platform's directory separator ("\" on Windows, "/" elsewhere) and the rewrite of the
// other one into it.
char Separator();
std::string NormaliseSeparators(const std::string& path);

// ---- one instance ----------------------------------------------------------------------------

// Holds the "program is running" mark for as long as it lives.
class InstanceLock {
  public:
    virtual ~InstanceLock() = default;
};

// Takes the mark, or returns null when another instance of the controller holds it.
std::unique_ptr<InstanceLock> AcquireSingleInstance();

// Turns on the themed look of the standard controls where the system offers it (Windows).
void EnableThemedControls();

// ---- files (every failure raises RuntimeError with the mapped number) -------------------------

void CopyFile(const std::string& from, const std::string& to);  // replaces the target
void DeleteFile(const std::string& path);                       // missing file: 53
void RenameFile(const std::string& from, const std::string& to);
std::int64_t FileLength(const std::string& path);  // missing file: 53

// Creates or truncates the file and closes it at once.
void CreateEmptyFile(const std::string& path);
// Opens for appending (creating it), writes `line` and CR LF, closes.
void AppendLine(const std::string& path, const std::string& line);
// Creates or truncates the file and writes `text` as it stands.
void WriteTextFile(const std::string& path, const std::string& text);
// The first line of a text file, without its line end ("" for an empty file).
std::string ReadFirstLine(const std::string& path);
// Writes `bytes` from offset 0 without truncating an existing longer file; on POSIX the file
// gets the run bit.
void WriteProgramImage(const std::string& path, const unsigned char* bytes, std::size_t size);

// A file opened for binary writing (created, or emptied when present). Every Write is one
// write call to the system, so callers decide the block size that gets timed.
class FileWriter {
  public:
    explicit FileWriter(const std::string& path);
    ~FileWriter();
    FileWriter(const FileWriter&) = delete;
    FileWriter& operator=(const FileWriter&) = delete;
    void Write(const void* data, std::size_t size);
    void Close();

  private:
    std::string path_;
    std::intptr_t handle_;
};

// Maps the errno/GetLastError value of a failed file operation on `path` to a run-time error.
[[noreturn]] void RaiseFileError(int osError, const std::string& path);

// ---- processes -------------------------------------------------------------------------------

class Process {
  public:
    virtual ~Process() = default;
    // True once the process has ended (reaps it on POSIX). Never blocks.
    virtual bool HasEnded() = 0;
    // Waits at most `ms` milliseconds for the end; true when it ended.
    virtual bool WaitForEnd(int ms) = 0;
    virtual int Id() const = 0;
};

enum class WindowStyle { Hidden = 0, NormalFocus = 1 };

// Starts `program` without waiting. The argument text travels as one argument on POSIX (so a
// directory with blanks arrives intact); on Windows it follows the program path on the command
// line, after one blank. Failure to start raises RuntimeError.
std::unique_ptr<Process> StartProgram(const std::string& program, const std::string& argText,
                                      WindowStyle style);

// Starts `program` with a list of arguments, each quoted by the platform's rules, without a
// command interpreter and without waiting.
std::unique_ptr<Process> StartProgramArgs(const std::string& program,
                                          const std::vector<std::string>& args, WindowStyle style);

// The argument text the running program got (drone): everything after the program path with
// leading blanks removed.
std::string ArgumentText(int argc, char** argv);

// The drives in use as the drive-list text ("C:\<NUL>D:\<NUL>"), or nullopt when it cannot be
// read. POSIX has no drive letters: always nullopt.
std::optional<std::string> LogicalDriveStrings();

// Reports an error to the user where no window exists (the drone, the command line).
void ReportError(const std::string& text);

}  // namespace wirepace::platform
