# Cross build for 32-bit Windows with MinGW-w64. The compiler is the one
# WAVRIX_MINGW_CXX names, else the first found of its usual names.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw_w64_names.cmake)

if(NOT WAVRIX_MINGW_CXX)
  find_program(WAVRIX_MINGW_CXX NAMES ${WAVRIX_MINGW_CXX_NAMES})
endif()
if(NOT WAVRIX_MINGW_CXX)
  string(JOIN " nor " WAVRIX_MINGW_CXX_TEXT ${WAVRIX_MINGW_CXX_NAMES})
  message(FATAL_ERROR "No MinGW-w64 cross compiler: neither ${WAVRIX_MINGW_CXX_TEXT} is on the PATH; "
    "set WAVRIX_MINGW_CXX to name one")
endif()
# The checks CMake compiles for itself read this file again.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES WAVRIX_MINGW_CXX)

set(CMAKE_CXX_COMPILER ${WAVRIX_MINGW_CXX})
# The C compiler beside it, named alike: ...-g++-win32 -> ...-gcc-win32.
string(REGEX REPLACE "g\\+\\+([^/]*)$" "gcc\\1" CMAKE_C_COMPILER ${WAVRIX_MINGW_CXX})
set(CMAKE_RC_COMPILER ${WAVRIX_MINGW_PREFIX}-windres)
set(CMAKE_DLLTOOL ${WAVRIX_MINGW_PREFIX}-dlltool)
set(CMAKE_OBJDUMP ${WAVRIX_MINGW_PREFIX}-objdump)
set(CMAKE_STRIP ${WAVRIX_MINGW_PREFIX}-strip)

# A distribution's LDFLAGS are written for its own ELF linker (-z relro, -z now,
# --as-needed), whose options the PE linker refuses or reads otherwise: the
# Windows program links with the project's options alone, which give it the
# PE counterparts, dynamic base and NX. CFLAGS and CXXFLAGS do reach it; the
# project overrides what of them it cannot carry (WAVRIX_NO_RUNTIME_FLAGS).
unset(ENV{LDFLAGS})

set(CMAKE_FIND_ROOT_PATH /usr/${WAVRIX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
