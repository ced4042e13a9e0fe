// SPDX-License-Identifier: MIT
// What the programs need from the operating system, behind one interface. Each section below
// is implemented once per platform, in the file its heading names with the suffix _posix.cpp or
// _win32.cpp; CMake picks the set to build.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace wirepace::platform {

// ---- paths and folders (paths_*) -------------------------------------------------------------

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

// Where the window keeps what it remembers for this user (see ReadUserSettings): POSIX the
// file $XDG_CONFIG_HOME/wirepace/settings.json (default ~/.config/wirepace/), its folder made
// 0700 and checked as the work root's is; Windows the key Software\Wirepace under
// HKEY_CURRENT_USER. Raises RuntimeError when the folder cannot be used.
std::string UserSettingsLocation();

// True when the program itself runs from a share path (Windows refuses that at start).
bool ProgramRunsFromShare();

// The value of an environment variable, or nullopt when it is not set.
std::optional<std::string> GetEnv(const std::string& name);

// True when the target directory names a share rather than a local or mounted folder.
bool IsSharePath(const std::string& dir);

// The platform's directory separator ("\" on Windows, "/" elsewhere) and the rewrite of the
// other one into it.
char Separator();
std::string NormaliseSeparators(const std::string& path);

// ---- remembered settings (user_settings_*) ----------------------------------------------------

// The text values stored at `location` by name. Nothing stored, or anything but what
// WriteUserSettings writes, gives an empty map and never raises: a file that is a link, not a
// plain file, another user's, larger than 64 KB, unreadable, or not a JSON object of strings;
// a registry value that is not a string, or too long.
std::map<std::string, std::string> ReadUserSettings(const std::string& location);

// Replaces what is stored at `location` with `values`. POSIX: a new file of mode 0600 written
// beside it and renamed over the name, so it is there whole or not at all, and a link under the
// name is replaced, never followed. Windows: one string value per name. Raises RuntimeError
// when it cannot.
void WriteUserSettings(const std::string& location,
                       const std::map<std::string, std::string>& values);

// ---- regional formats (regional_*) -----------------------------------------------------------

// Reads dates, times and the decimal separator from the system and installs them (SetRegional).
void LoadRegionalSettings();

// ---- share mapping (share_mount_*) -----------------------------------------------------------

// A share path taken apart: //server/share[/rest] or \\server\share[\rest].
struct ShareTarget {
    std::string server;
    std::string share;
};

// The connection a run opened to a share, until Unmap.
class ShareMapping {
  public:
    virtual ~ShareMapping() = default;
    // Where a share path the user typed (either separator) is reached by file operations:
    // the path itself on Windows, the same place under the private mount folder on POSIX.
    virtual std::string LocalPath(const std::string& sharePath) const = 0;
    // Ends the connection; raises RuntimeError when it cannot. Later calls do nothing.
    virtual void Unmap() = 0;
};

// True where a mapping needs a free drive letter (Windows).
bool SharesMapToDriveLetters();

// Opens the connection to the share with the account and tells at once whether it worked:
// a failure (wrong password, unknown server, missing share, no client installed) raises
// RuntimeError whose description says which. `drive` is the free letter on Windows ("E:"),
// ignored elsewhere. The password never appears on a command line or in a message.
std::unique_ptr<ShareMapping> MapShare(const ShareTarget& target, const std::string& drive,
                                       const std::string& user, const std::string& password,
                                       const std::string& workRoot);

// Removes what a run that was killed left of its mapping under the work root (POSIX: a mount
// and its credentials). Raises RuntimeError when a left mount cannot be removed.
void RemoveStaleShareMapping(const std::string& workRoot);

// ---- one instance (instance_*) ----------------------------------------------------------------

// Holds the "program is running" mark for as long as it lives.
class InstanceLock {
  public:
    virtual ~InstanceLock() = default;
};

// Takes the mark, or returns null when another instance of the controller holds it.
std::unique_ptr<InstanceLock> AcquireSingleInstance();

// ---- files (files_*, the timed copy in uncached_copy_*) --------------------------------------
//
// Every failure raises RuntimeError with the mapped number.
//
// Nothing here writes through a symbolic link: a file is created fresh (a plain file of that
// name removed first, then created exclusively), and a link or anything else that is not a
// plain file under the name is refused. A write that fails midway removes its partial file.

// How a timed copy kept this machine's file cache out of the measurement.
enum class CacheBypass {
    DirectReads,   // the source was read unbuffered (O_DIRECT, unbuffered Windows copy)
    DroppedPages,  // the file system refused unbuffered reads: its cached pages were dropped
};

// Told as a copy goes, on the thread that copies: the bytes written so far of `total`, once
// when both files are open (0), after every piece and, while a piece takes long, a few times a
// second with the same count; never fewer than the last time.
// Returning false abandons the copy: its partial target is removed and RunInterrupted raised.
using CopyProgress = std::function<bool(std::int64_t copied, std::int64_t total)>;

// The pieces a copy moves in, learnt from the link as it goes (see kDrainSeconds). A caller
// that copies over the same link again hands the same pace back, so the next copy starts with
// the pieces the last one ended with instead of ones that may take the slow link seconds.
struct CopyPace {
    std::size_t piece = 0;  // bytes; 0: the copy's own first length
};

// The timed copy: every byte is read from where the source lies, not from this machine's file
// cache, and the written data has left this machine's cache when it returns. The target is
// created fresh. `pace`: read at the start, updated at the end (Windows: the system's copy
// engine sizes its own pieces, and it is left as it is).
CacheBypass CopyUncached(const std::string& from, const std::string& to,
                         const CopyProgress& progress = {}, CopyPace* pace = nullptr);
// Makes CopyUncached behave as on a file system that refuses unbuffered reads (tests only).
void RefuseDirectReadsForTests(bool refuse);

void RemoveFile(const std::string& path);  // missing file: 53
void RenameFile(const std::string& from, const std::string& to);
std::int64_t FileLength(const std::string& path);  // missing file: 53

// Creates the file fresh, empty, and closes it at once.
void CreateEmptyFile(const std::string& path);
// Opens for appending (creating it), writes `line` and CR LF, closes. The line goes in whole or
// not at all. On Windows a new file is UTF-8 behind a byte-order mark; a file without the mark
// keeps the ANSI code page, and a line with a character it cannot store is refused (75).
void AppendLine(const std::string& path, const std::string& line);
// A message naming the first character of `text` that AppendLine cannot store in the file at
// `path`, or nullopt (always nullopt where text files are UTF-8).
std::optional<std::string> UnstorableCharacter(const std::string& path, const std::string& text);
// Creates the file fresh and writes `text` as it stands.
void WriteTextFile(const std::string& path, const std::string& text);
// Creates the file exclusively with `text`: false when something of that name exists already.
bool CreateExclusiveFile(const std::string& path, const std::string& text);
// The first line of a text file, without its line end ("" for an empty file).
std::string ReadFirstLine(const std::string& path);
// A whole text file as UTF-8, without a leading byte-order mark: on Windows a file without the
// mark is read in the ANSI code page, as WriteTextFile and AppendLine write it.
std::string ReadTextFile(const std::string& path);
// Replaces the file at `path` with `bytes` as one step: they go to a new file in the same
// folder, which is then renamed over the name, so a reader (a metrics collector) sees the old
// file or the new one whole, never a part. The bytes are written as they stand. A link or
// anything but a plain file under the name is refused; a failure leaves the old file as it
// was and nothing beside it.
void ReplaceFileWhole(const std::string& path, const std::string& bytes);
// The first line of a file that holds a secret (a password), without its line end. A file that
// other users may read is refused with a message saying how to fix it (POSIX: any read bit for
// group or others); where the platform cannot tell who may read a file (Windows), reading a
// secret from a file is refused.
std::string ReadPrivateFirstLine(const std::string& path);
// Writes the program image fresh; on POSIX the file gets mode 0700.
void WriteProgramImage(const std::string& path, const unsigned char* bytes, std::size_t size);
// Writes what this machine still holds of the file out to where it lies, so that a later
// unbuffered read of it does not pay for that write.
void FlushFile(const std::string& path);
// Sets the file's modification time to now; seconds since it was last modified.
void TouchFile(const std::string& path);
double FileAgeSeconds(const std::string& path);

// What a name in a folder is, without following a link.
enum class EntryKind { Missing, File, Link, Other };
EntryKind KindOf(const std::string& path);
// The names in a folder (no "." or ".."); a folder that cannot be read raises.
std::vector<std::string> FolderEntries(const std::string& dir);

// A folder a run works in (the target, the work root), opened once at the start of the run.
// Its removals go through the open folder, never through its path again, so a path that leads
// elsewhere later (the folder renamed, or swapped for a symbolic link to another folder) cannot
// redirect them. POSIX: a directory descriptor with unlinkat and fstatat, never following a
// link. Windows: the folder is held without delete sharing, so it cannot be renamed or replaced
// while the run holds it, and it is checked to be the same object before every removal. What
// is written by path (the copies, the drones) is guarded by CheckStillAtItsPath between steps.
class FolderHandle {
  public:
    // Raises "Path not found" naming `dir` when it is missing or not a folder.
    explicit FolderHandle(const std::string& dir);
    ~FolderHandle();
    FolderHandle(const FolderHandle&) = delete;
    FolderHandle& operator=(const FolderHandle&) = delete;

    // The folder as opened, ending in a separator.
    const std::string& Path() const { return path_; }
    // True while its path still leads to the folder opened: the same device and inode (POSIX),
    // the same volume serial number and file id (Windows).
    bool StillAtItsPath() const;
    // Raises, naming the folder, when it no longer is.
    void CheckStillAtItsPath() const;

    // The names in it (no "." or "..").
    std::vector<std::string> Entries() const;
    // What `name` in it is, without following a link.
    EntryKind KindOf(const std::string& name) const;
    // Removes `name` from it; a link is removed itself. A missing name raises "File not found";
    // every error names the file's path.
    void Remove(const std::string& name) const;

  private:
    std::string path_;
    std::intptr_t handle_ = -1;
    std::uint64_t volume_ = 0;
    std::uint64_t id_ = 0;
};

// A file opened for binary writing, created fresh. Every Write is one write call to the
// system, so callers decide the block size that gets timed. A writer destroyed before Close
// removes its file: nothing half written stays behind.
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

// ---- mount detection (mount_detection_*) -----------------------------------------------------

// True when `dir` lies on a file system reached over a network (NFS, SMB, sshfs, smbnetfs,
// 9p, Ceph, AFS, a remote drive or a share path on Windows), false for a local disk.
bool IsNetworkFolder(const std::string& dir);

// The type of the file system `dir` lies on, as the system names it ("ext4", "nfs4",
// "fuse.sshfs", "NTFS"), or "" when it cannot be told.
std::string FileSystemType(const std::string& dir);

// What the file system `dir` lies on still takes, and which file system that is.
struct DiskSpace {
    std::int64_t freeBytes = 0;  // what this user may still write there
    std::string volume;          // the same text for two folders on one file system
};

// The free space of the file system `dir` lies on (statvfs on POSIX, GetDiskFreeSpaceExW on
// Windows), or nullopt where it cannot be read: the call fails, or the file system reports no
// size at all, as some network and FUSE file systems do.
std::optional<DiskSpace> DiskSpaceOf(const std::string& dir);

// ---- processes (processes_*) -----------------------------------------------------------------

class Process {
  public:
    virtual ~Process() = default;
    // True once the process has ended (reaps it on POSIX). Never blocks.
    virtual bool HasEnded() = 0;
    // Waits at most `ms` milliseconds for the end; true when it ended.
    virtual bool WaitForEnd(int ms) = 0;
    // Ends the process at once.
    virtual void Terminate() = 0;
    virtual int Id() const = 0;
};

enum class WindowStyle { Hidden = 0, NormalFocus = 1 };

// Starts a drone without waiting. It cannot outlive this process: on Linux it is killed when
// this process ends, on Windows it belongs to a job that ends with this process, elsewhere it
// watches for its controller while it waits. The argument text travels as one argument on POSIX (so
// a directory with blanks arrives intact); on Windows it follows the program path on the command
// line, after one blank. Failure to start raises RuntimeError.
std::unique_ptr<Process> StartProgram(const std::string& program, const std::string& argText,
                                      WindowStyle style);

// In the drone: ties its life to the controller that started it, and tells whether that
// controller is still there.
void TieToController();
bool ControllerAlive();

// This machine's name, this process's id, and whether a process of this machine runs.
std::string HostName();
int CurrentProcessId();
bool ProcessAlive(int id);

// The argument text the running program got (drone): everything after the program path with
// leading blanks removed.
std::string ArgumentText(int argc, char** argv);
// The program's arguments, program name first, as UTF-8: on Windows from the wide command line,
// for the C runtime's `argv` is in the ANSI code page and has lost what that cannot hold.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// The drives in use as the drive-list text ("C:\<NUL>D:\<NUL>"), or nullopt when it cannot be
// read. POSIX has no drive letters: always nullopt.
std::optional<std::string> LogicalDriveStrings();

// Reports an error to the user where no window exists (the drone, the command line).
void ReportError(const std::string& text);

// True when a window can be shown: always on Windows and macOS; elsewhere when an X or Wayland
// display is named (DISPLAY, WAYLAND_DISPLAY).
bool DisplayServerAvailable();

// ---- the standard descriptors and stop signals (signals_*) -----------------------------------

// Which of standard input, output and error were closed when the program started.
struct ClosedStandardDescriptors {
    bool input = false;
    bool output = false;
    bool error = false;
};

// Opens each of standard input, output and error that is closed on the null device, so that no
// file the program opens later takes its number (a report meant for standard output would land
// in the lock file). Call first thing in main. Windows opens every file as a handle, never under
// one of these numbers: nothing to do there.
ClosedStandardDescriptors ReopenClosedStandardDescriptors();

// True when standard error is a terminal a person watches (a live progress line makes sense
// there, not in a file or a pipe).
bool StandardErrorIsTerminal();

// What the first stop signal calls, inside the signal handler: async-signal-safe work only.
using StopHandler = void (*)(int signal);

// Handles the signals that ask the program to end: SIGINT, SIGTERM and SIGHUP (a closed
// terminal) on POSIX, Ctrl-C and SIGTERM on Windows. The first calls `onStop` with its number,
// so the run can stop and clean up; a second cannot wait for that, it runs the emergency
// cleanup below and ends the program at once with 128 + its number. SIGQUIT runs the emergency
// cleanup, then the system's own action (a core dump). A closed standard output (SIGPIPE) does
// not end the program: the failed write is reported.
void InstallStopHandlers(StopHandler onStop);

// The same for a program whose main thread waits in an event loop: the first stop signal makes
// the returned descriptor readable (it writes the signal's number, one byte, into a pipe), so
// the loop can close its window as the user would. -1 where there is no such descriptor
// (Windows, where the system closes a window itself); no handler is installed then.
int WatchStopSignals();

// ---- emergency cleanup (emergency.cpp, emergency_*) ------------------------------------------

// What an interrupt that cannot wait for the run's own cleanup removes before the program ends:
// the files the run under way may have made and its drones. Kept in fixed storage, so a signal
// handler can walk it; paths beyond that storage are ignored (the next run's sweep removes them).
void SetEmergencyFiles(const std::vector<std::string>& paths);
void AddEmergencyProcess(int id);
void ClearEmergency();
// Deletes the registered files and ends the registered processes. Async-signal-safe on POSIX.
void RunEmergencyCleanup() noexcept;

}  // namespace wirepace::platform
