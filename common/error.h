// SPDX-License-Identifier: MIT
// The run-time error both programs raise: a platform error number and its description.
#pragma once

#include <stdexcept>
#include <string>

namespace wirepace {

// The numbers the run's error handler keys on; keep them stable, they reach the results log.
enum ErrorNumber : int {
    kErrOverflow = 6,
    kErrSubscriptOutOfRange = 9,
    kErrTypeMismatch = 13,
    kErrFileNotFound = 53,
    kErrDiskFull = 61,
    kErrPermissionDenied = 70,
    kErrPathFileAccess = 75,
    kErrPathNotFound = 76,
};

// The standard description of a known number ("File not found" for 53), or
// "Application-defined or object-defined error" for any other.
std::string StandardDescription(int number);

class RuntimeError : public std::runtime_error {
  public:
    explicit RuntimeError(int number);
    RuntimeError(int number, std::string description);

    int Number() const noexcept { return number_; }
    const std::string& Description() const noexcept { return description_; }

  private:
    int number_;
    std::string description_;
};

}  // namespace wirepace
