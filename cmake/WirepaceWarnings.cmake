# SPDX-License-Identifier: MIT
# One place for the warning flags every target of ours gets.
function(wirepace_set_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
  if(WIREPACE_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
