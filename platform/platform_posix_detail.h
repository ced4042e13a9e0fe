// SPDX-License-Identifier: MIT
// The pure pieces of the POSIX platform layer, apart so the tests can reach them.
#pragma once

#include <string>

namespace wirepace::platform::posix {

// The C library's date and time formats (nl_langinfo D_FMT, T_FMT) turned into our date
// patterns; the separator they use is stored in `separator`. An empty result keeps the default.
// A twelve-hour time ("%I", "%p") keeps its AM/PM marker ("AMPM"); "%r" stands for
// `twelveHourFormat` (T_FMT_AMPM).
std::string DatePatternFromFormat(const std::string& format, std::string& separator);
std::string TimePatternFromFormat(const std::string& format, std::string& separator,
                                  const std::string& twelveHourFormat = "%I:%M:%S %p");

}  // namespace wirepace::platform::posix
