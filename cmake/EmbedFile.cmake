# SPDX-License-Identifier: MIT
# Script mode: cmake -DINPUT=<file> -DOUTPUT=<source.cpp> -DSYMBOL=<name> -P EmbedFile.cmake
# Writes a C++ source that holds the bytes of INPUT as `extern "C" const unsigned char SYMBOL[]`
# with its length in `SYMBOL_size`. The source is written beside OUTPUT first and then moved
# into place, so an interrupted build never leaves a half-written array behind.
foreach(var INPUT OUTPUT SYMBOL)
  if(NOT DEFINED ${var} OR "${${var}}" STREQUAL "")
    message(FATAL_ERROR "EmbedFile.cmake needs -D${var}=...")
  endif()
endforeach()
if(NOT EXISTS "${INPUT}")
  message(FATAL_ERROR "EmbedFile.cmake: ${INPUT} does not exist")
endif()

file(SIZE "${INPUT}" size)
file(READ "${INPUT}" hex HEX)
get_filename_component(input_name "${INPUT}" NAME)

if(size EQUAL 0)
  # A zero-length array is not C++; keep one byte and report the true length.
  set(body "0x00")
else()
  # Sixteen bytes a line, then every pair of hex digits becomes one initializer.
  # CMake regular expressions have no counted repeats, hence the repeated class.
  string(REPEAT "[0-9a-f]" 32 line_pattern)
  string(REGEX REPLACE "(${line_pattern})" "\\1\n" hex "${hex}")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," body "${hex}")
endif()

set(tmp "${OUTPUT}.tmp")
file(WRITE "${tmp}"
  "// Generated from ${input_name} by EmbedFile.cmake at build time; do not edit.\n"
  "#include <cstddef>\n\n"
  "extern \"C\" const unsigned char ${SYMBOL}[];\n"
  "extern \"C\" const std::size_t ${SYMBOL}_size;\n\n"
  "alignas(16) const unsigned char ${SYMBOL}[] = {\n${body}\n};\n"
  "const std::size_t ${SYMBOL}_size = ${size};\n")
file(RENAME "${tmp}" "${OUTPUT}")
