# The names of the MinGW-w64 tools for 32-bit Windows, for the toolchain file
# and for the Linux build that builds the Windows program beside it. The C++
# compiler is the first found of Debian's name for its win32 thread model (the
# program needs no threading runtime DLL) and the plain name other
# distributions use.
set(WAVRIX_MINGW_PREFIX i686-w64-mingw32)
set(WAVRIX_MINGW_CXX_NAMES ${WAVRIX_MINGW_PREFIX}-g++-win32 ${WAVRIX_MINGW_PREFIX}-g++)
