// SPDX-License-Identifier: MIT
// Checking the run-time error an action raises: its number alone, or number and description.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "common/error.h"

namespace wirepace::testing {

// The number of the run-time error `action` raises, 0 when it raises none.
inline int ErrorNumberOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const RuntimeError& e) {
        return e.Number();
    }
    return 0;
}

// "description [number]" of the run-time error `action` raises, "" when it raises none.
inline std::string ErrorTextOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const RuntimeError& e) {
        return e.Text();
    }
    return "";
}

}  // namespace wirepace::testing
