# On Linux, the Windows program is built alongside when a MinGW-w64 cross
# compiler is installed, so that the tests can hold both builds to the same
# behaviour. Either way the configure says in one line what is left out.
include(ExternalProject)

include(${CMAKE_CURRENT_LIST_DIR}/mingw_w64_names.cmake)
find_program(WAVRIX_MINGW_CXX NAMES ${WAVRIX_MINGW_CXX_NAMES}
  DOC "The MinGW-w64 C++ cross compiler for 32-bit Windows")

if(NOT WAVRIX_MINGW_CXX)
  string(JOIN " or " WAVRIX_MINGW_CXX_TEXT ${WAVRIX_MINGW_CXX_NAMES})
  message(STATUS "No MinGW-w64 cross compiler (${WAVRIX_MINGW_CXX_TEXT}; WAVRIX_MINGW_CXX names another): "
    "the Windows program is not built")
  return()
endif()
# The Windows unit tests are built from GoogleTest's sources, wherever the
# top-level build says they are.
set(WAVRIX_WIN32_TEST_ARGS -DWAVRIX_BUILD_TESTS=${WAVRIX_BUILD_TESTS})
if(WAVRIX_BUILD_TESTS)
  list(APPEND WAVRIX_WIN32_TEST_ARGS -DWAVRIX_GTEST_SOURCE_DIR=${WAVRIX_GTEST_SOURCE_DIR})
  if(NOT EXISTS ${WAVRIX_GTEST_SOURCE_DIR}/CMakeLists.txt)
    message(STATUS "No GoogleTest sources in ${WAVRIX_GTEST_SOURCE_DIR} "
      "(WAVRIX_GTEST_SOURCE_DIR): the Windows unit tests are not built")
  endif()
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
    ${WAVRIX_WIN32_TEST_ARGS}
    -DWAVRIX_WERROR=${WAVRIX_WERROR}
  BUILD_ALWAYS ON
  INSTALL_COMMAND ""
  USES_TERMINAL_BUILD ON)
