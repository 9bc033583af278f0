# GoogleTest, in this order: built from the source tree KANDU_GTEST_SOURCE
# names (the presets name Debian's, /usr/src/googletest, so that it is built
# with the same compiler as the code under test); an installed package
# (MSYS2's mingw-w64 gtest, vcpkg's, or one in a prefix on CMAKE_PREFIX_PATH);
# Debian's source tree.
set(kandu_gtest_debian /usr/src/googletest)

# An installed GoogleTest may be DLLs (MSYS2 builds it so). They, and the
# compiler's runtime DLLs they load, are copied beside the tests (every
# executable lands at the top of the build tree): the tests then find them on
# Windows whatever PATH holds, and under Wine.
function(kandu_copy_gtest_dlls)
  set(dlls "")
  foreach(target GTest::gtest GTest::gtest_main)
    get_target_property(type ${target} TYPE)
    get_target_property(location ${target} LOCATION)
    if(type STREQUAL SHARED_LIBRARY AND location MATCHES "[.]dll$")
      list(APPEND dlls ${location})
      get_filename_component(beside ${location} DIRECTORY)
    endif()
  endforeach()
  if(NOT dlls)
    return()
  endif()
  set(runtime libstdc++-6.dll libwinpthread-1.dll)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    list(APPEND runtime libgcc_s_dw2-1.dll)
  else()
    list(APPEND runtime libgcc_s_seh-1.dll)
  endif()
  foreach(name ${runtime})
    if(EXISTS ${beside}/${name})
      list(APPEND dlls ${beside}/${name})
    else()
      execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${name}
                      OUTPUT_VARIABLE found OUTPUT_STRIP_TRAILING_WHITESPACE)
      if(IS_ABSOLUTE "${found}" AND EXISTS "${found}")
        list(APPEND dlls ${found})
      endif()
    endif()
  endforeach()
  file(COPY ${dlls} DESTINATION ${CMAKE_BINARY_DIR})
endfunction()

if(NOT KANDU_GTEST_SOURCE)
  find_package(GTest QUIET)
  if(GTest_FOUND AND TARGET GTest::gtest_main)
    get_target_property(location GTest::gtest LOCATION)
    message(STATUS "GoogleTest: the installed package, ${location}")
    include(GoogleTest)
    kandu_copy_gtest_dlls()
    return()
  endif()
  if(NOT EXISTS ${kandu_gtest_debian}/CMakeLists.txt)
    set(msys2_gtest $ENV{MINGW_PACKAGE_PREFIX}-gtest)
    if(NOT DEFINED ENV{MINGW_PACKAGE_PREFIX})
      set(msys2_gtest "mingw-w64-i686-gtest or mingw-w64-ucrt-x86_64-gtest")
    endif()
    message(FATAL_ERROR "GoogleTest is needed for the tests and was not found. Either install it as a "
      "package CMake finds (MSYS2: pacman -S ${msys2_gtest}; vcpkg; or a prefix "
      "given as -DCMAKE_PREFIX_PATH=DIR), or install Debian's source tree (apt install googletest, "
      "which fills ${kandu_gtest_debian}; -DKANDU_GTEST_SOURCE=DIR names another). Or configure "
      "with -DKANDU_TESTS=OFF to build the programs without the tests.")
  endif()
  set(kandu_gtest_source ${kandu_gtest_debian})
else()
  if(NOT EXISTS ${KANDU_GTEST_SOURCE}/CMakeLists.txt)
    message(FATAL_ERROR "GoogleTest source not found at ${KANDU_GTEST_SOURCE}; run tools/install-deps.sh")
  endif()
  set(kandu_gtest_source ${KANDU_GTEST_SOURCE})
endif()

message(STATUS "GoogleTest: built from ${kandu_gtest_source}")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(${kandu_gtest_source} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
include(GoogleTest)
