// SPDX-License-Identifier: MIT
// The run-time error both programs raise: a platform error number and its description.
#pragma once

#include <stdexcept>
#include <string>
#include <utility>

namespace wirepace {

// The numbers the run's error handler keys on; keep them stable, they reach the results log.
enum ErrorNumber : int {
    kErrOverflow = 6,
    kErrSubscriptOutOfRange = 9,
    kErrTypeMismatch = 13,
    kErrInternal = 51,  // an unexpected failure that carries no number of its own
    kErrFileNotFound = 53,
    kErrDiskFull = 61,
    kErrPermissionDenied = 70,
    kErrPathFileAccess = 75,
    kErrPathNotFound = 76,
};

// The standard description of a known number ("File not found" for 53), or
// "Application-defined or object-defined error" for any other.
std::string StandardDescription(int number);

// "description [number]", the form every error report of the programs takes.
std::string ErrorText(int number, const std::string& description);

// Raised out of a wait or a copy when the user stopped the run (Stop, a close, Ctrl-C) or a
// drone was told to stop: not a failure, and what was cut short is not recorded.
class RunInterrupted : public std::exception {
  public:
    const char* what() const noexcept override { return "Interrupted by user"; }
};

class RuntimeError : public std::runtime_error {
  public:
    explicit RuntimeError(int number);
    RuntimeError(int number, std::string description);

    int Number() const noexcept { return number_; }
    const std::string& Description() const noexcept { return description_; }
    // The file a failed file operation was working on, when known; not part of the description,
    // which stays the standard text the log has always carried.
    const std::string& Path() const noexcept { return path_; }
    RuntimeError& WithPath(std::string path) {
        path_ = std::move(path);
        return *this;
    }
    // "description [number]", and ": path" after it when the path is known and the description
    // does not name it already ("Path not found [76]: /srv/bench/x").
    std::string Text() const;

  private:
    int number_;
    std::string description_;
    std::string path_;
};

}  // namespace wirepace
