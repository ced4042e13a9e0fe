// SPDX-License-Identifier: MIT
// The pure pieces of the POSIX platform layer, apart so the tests can reach them.
#pragma once

#include <string>

namespace wirepace::platform::posix {

// The C library's date and time formats (nl_langinfo D_FMT, T_FMT) turned into our date
// patterns; the separator they use is stored in `separator`. An empty result keeps the default.
std::string DatePatternFromFormat(const std::string& format, std::string& separator);
std::string TimePatternFromFormat(const std::string& format, std::string& separator);

}  // namespace wirepace::platform::posix
