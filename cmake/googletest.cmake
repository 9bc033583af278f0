# GoogleTest is built from the source that Debian's googletest package installs,
# with the same compiler as the code under test.
set(KANDU_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest source tree")
if(NOT EXISTS ${KANDU_GTEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest source not found at ${KANDU_GTEST_SOURCE}; run tools/install-deps.sh")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(${KANDU_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
include(GoogleTest)
