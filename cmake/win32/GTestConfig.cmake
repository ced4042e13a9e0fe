# SPDX-License-Identifier: MIT
# GoogleTest for the Windows cross build: the Debian package ships only Linux libraries, so the
# library is built from its sources with the cross compiler, as part of this build.
set(WIREPACE_GTEST_SOURCE /usr/src/googletest/googletest CACHE PATH "GoogleTest sources")
if(NOT TARGET gtest)
  if(NOT EXISTS ${WIREPACE_GTEST_SOURCE}/CMakeLists.txt)
    message(FATAL_ERROR "GoogleTest sources not found in ${WIREPACE_GTEST_SOURCE}; install googletest")
  endif()
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${WIREPACE_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endif()
if(NOT TARGET GTest::gtest)
  add_library(GTest::gtest ALIAS gtest)
  add_library(GTest::gtest_main ALIAS gtest_main)
endif()
set(GTest_FOUND TRUE)
