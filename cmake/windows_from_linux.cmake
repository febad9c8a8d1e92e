# On Linux, the Windows program is built alongside when a MinGW-w64 cross
# compiler is installed, so that the tests can hold both builds to the same
# behaviour. Either way the configure says in one line what is left out.
include(ExternalProject)

find_program(WAVRIX_MINGW_CXX NAMES i686-w64-mingw32-g++-win32 i686-w64-mingw32-g++
  DOC "The MinGW-w64 C++ cross compiler for 32-bit Windows")
set(WAVRIX_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH
  "GoogleTest's sources, which the Windows unit tests are built with")

if(NOT WAVRIX_MINGW_CXX)
  message(STATUS "No MinGW-w64 cross compiler (i686-w64-mingw32-g++-win32 or "
    "i686-w64-mingw32-g++; WAVRIX_MINGW_CXX names another): the Windows program is not built")
  return()
endif()
if(WAVRIX_BUILD_TESTS AND NOT EXISTS ${WAVRIX_GTEST_SOURCE_DIR}/CMakeLists.txt)
  message(STATUS "No GoogleTest sources in ${WAVRIX_GTEST_SOURCE_DIR} "
    "(WAVRIX_GTEST_SOURCE_DIR): the Windows unit tests are not built")
endif()

set(WAVRIX_WIN32_DIR ${CMAKE_BINARY_DIR}/win32)
ExternalProject_Add(wavrix_win32
  SOURCE_DIR ${CMAKE_SOURCE_DIR}
  BINARY_DIR ${WAVRIX_WIN32_DIR}
  CMAKE_GENERATOR ${CMAKE_GENERATOR}
  CMAKE_ARGS
    -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/i686-w64-mingw32.cmake
    -DWAVRIX_MINGW_CXX=${WAVRIX_MINGW_CXX}
    -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
    -DWAVRIX_BUILD_TESTS=${WAVRIX_BUILD_TESTS}
    -DWAVRIX_GTEST_SOURCE_DIR=${WAVRIX_GTEST_SOURCE_DIR}
    -DWAVRIX_WERROR=${WAVRIX_WERROR}
  BUILD_ALWAYS ON
  INSTALL_COMMAND ""
  USES_TERMINAL_BUILD ON)
