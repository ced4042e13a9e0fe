# SPDX-License-Identifier: MIT
# Script mode: cmake -DINPUT=<file> -DOUTPUT=<file.gz> -P GzipFile.cmake
# Compresses INPUT with gzip -9n (no name, no time stamp, so the result depends only on the
# content, as Debian wants for manual pages and changelogs). Written beside OUTPUT first and
# then moved into place, so an interrupted build leaves no truncated file.
foreach(var INPUT OUTPUT)
  if(NOT DEFINED ${var} OR "${${var}}" STREQUAL "")
    message(FATAL_ERROR "GzipFile.cmake needs -D${var}=...")
  endif()
endforeach()
execute_process(COMMAND gzip -9nc "${INPUT}" OUTPUT_FILE "${OUTPUT}.tmp" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  file(REMOVE "${OUTPUT}.tmp")
  message(FATAL_ERROR "gzip ${INPUT} failed: ${rc}")
endif()
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
