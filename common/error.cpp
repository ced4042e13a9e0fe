// SPDX-License-Identifier: MIT
#include "common/error.h"

#include <utility>

#include "common/printable_text.h"

namespace wirepace {

std::string StandardDescription(int number) {
    switch (number) {
        case kErrOverflow:
            return "Overflow";
        case kErrSubscriptOutOfRange:
            return "Subscript out of range";
        case kErrTypeMismatch:
            return "Type mismatch";
        case kErrInternal:
            return "Internal error";
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

std::string ErrorText(int number, const std::string& description) {
    return description + " [" + std::to_string(number) + "]";
}

std::string RuntimeError::Text() const {
    std::string text = ErrorText(number_, description_);
    if (!path_.empty() && description_.find(path_) == std::string::npos)
        text += ": " + PrintableText(path_);
    return text;
}

RuntimeError::RuntimeError(int number) : RuntimeError(number, StandardDescription(number)) {}

RuntimeError::RuntimeError(int number, std::string description)
    : std::runtime_error(ErrorText(number, description)),
      number_(number),
      description_(std::move(description)) {}

}  // namespace wirepace
