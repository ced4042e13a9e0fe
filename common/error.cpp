// SPDX-License-Identifier: MIT
#include "common/error.h"

#include <utility>

namespace wirepace {

std::string StandardDescription(int number) {
    switch (number) {
        case kErrOverflow:
            return "Overflow";
        case kErrSubscriptOutOfRange:
            return "Subscript out of range";
        case kErrTypeMismatch:
            return "Type mismatch";
        case kErrFileNotFound:
            return "File not found";
        case kErrDiskFull:
            return "Disk full";
        case kErrPermissionDenied:
            return "Permission denied";
        case kErrPathFileAccess:
            return "Path/File access error";
        case kErrPathNotFound:
            return "Path not found";
        default:
            return "Application-defined or object-defined error";
    }
}

RuntimeError::RuntimeError(int number) : RuntimeError(number, StandardDescription(number)) {}

RuntimeError::RuntimeError(int number, std::string description)
    : std::runtime_error(description + " [" + std::to_string(number) + "]"),
      number_(number),
      description_(std::move(description)) {}

}  // namespace wirepace
