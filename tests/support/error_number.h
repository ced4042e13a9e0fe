// SPDX-License-Identifier: MIT
#pragma once

#include <functional>

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

}  // namespace wirepace::testing
