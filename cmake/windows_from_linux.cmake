# On Linux, the Windows program is built alongside when the MinGW-w64 cross
# compiler is installed, so that the tests can hold both builds to the same
# behaviour (the Windows side runs under Wine).
include(ExternalProject)

find_program(WAVRIX_MINGW_CXX i686-w64-mingw32-g++-win32)
if(WAVRIX_MINGW_CXX)
  set(WAVRIX_WIN32_DIR ${CMAKE_BINARY_DIR}/win32)
  ExternalProject_Add(wavrix_win32
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${WAVRIX_WIN32_DIR}
    CMAKE_GENERATOR ${CMAKE_GENERATOR}
    CMAKE_ARGS
      -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/i686-w64-mingw32.cmake
      -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
      -DWAVRIX_BUILD_TESTS=${WAVRIX_BUILD_TESTS}
      -DWAVRIX_WERROR=${WAVRIX_WERROR}
    BUILD_ALWAYS ON
    INSTALL_COMMAND ""
    USES_TERMINAL_BUILD ON)
else()
  message(STATUS "i686-w64-mingw32-g++-win32 not found: the Windows program is not built")
endif()
