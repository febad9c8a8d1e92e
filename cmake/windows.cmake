# The 32-bit Windows program. These cards live in PCs from the Pentium and
# Windows 95 days: the program must start on Windows 95 and NT 4.0 through
# Windows 11, on any x86 with an FPU from the i486DX on, and it is one file
# that imports four functions of Windows and the card's nine operations.

# i486 instructions and x87 arithmetic only: no CMOV, FCOMI or anything later,
# no MMX or SSE. The number rules are defined on the x87 anyway. No CET either,
# whatever CFLAGS ask: its endbr32 is an invalid opcode before the Pentium Pro,
# and the compiler refuses it for the i486.
add_compile_options(-march=i486 -mtune=generic -mfpmath=387 -mno-mmx -mno-sse -mno-sse2
  -mno-3dnow -fcf-protection=none)
# No padding to align functions, loops and jump targets: it buys an old
# processor next to nothing on a program that runs once, and it costs the
# exe a 512-byte block of its file (GCC 14 pads more than GCC 12 did).
add_compile_options(-falign-functions=1 -falign-loops=1 -falign-jumps=1)
# The headers declare only what Windows 95 and NT 4.0 have, so that nothing
# newer can creep into the program.
set(WAVRIX_WINDOWS_95_API _WIN32_WINNT=0x0400 WINVER=0x0400)
add_compile_definitions(${WAVRIX_WINDOWS_95_API} WIN32_LEAN_AND_MEAN)
# The test helpers (the simulated card, the unit tests, the launcher) carry
# their C and C++ runtimes inside, so that Wine needs no runtime DLLs for them.
add_link_options(-static -static-libgcc -static-libstdc++)

enable_language(RC)

# Every date in the exe and the release archive comes from the last commit, so
# that a rebuild from the same source gives the same bytes: SOURCE_DATE_EPOCH
# when it is set, else the time of the commit the source has checked out (0
# for a source that is no git checkout of its own, a copy inside another
# repository included: that repository's commit is not this source's).
# It is read at every build, not at configure time, into a file that changes
# only with the date: a new commit relinks the program with its date.
set(WAVRIX_SOURCE_DATE_FILE ${CMAKE_BINARY_DIR}/source-date-epoch)
add_custom_target(source_date_epoch
  COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${CMAKE_SOURCE_DIR} -DOUTPUT=${WAVRIX_SOURCE_DATE_FILE}
    -P ${CMAKE_SOURCE_DIR}/cmake/source_date_epoch.cmake
  BYPRODUCTS ${WAVRIX_SOURCE_DATE_FILE}
  VERBATIM)
# Runs a command with SOURCE_DATE_EPOCH set from that file.
set(WAVRIX_WITH_SOURCE_DATE bash ${CMAKE_SOURCE_DIR}/cmake/with_source_date.sh
  ${WAVRIX_SOURCE_DATE_FILE})
# No path of the machine that built it ends up in the program.
add_compile_options(-ffile-prefix-map=${CMAKE_SOURCE_DIR}/= -ffile-prefix-map=${CMAKE_BINARY_DIR}/=)

function(wavrix_windows_targets)
  # The card's driver library is bound by the Windows loader through an import
  # library made from the project's own module-definition file, whose names
  # the C preprocessor takes from the one list of the nine operations.
  set(def_file ${CMAKE_BINARY_DIR}/btvid_32.def)
  set(import_lib ${CMAKE_BINARY_DIR}/libbtvid_32_import.a)
  add_custom_command(
    OUTPUT ${def_file}
    COMMAND ${CMAKE_C_COMPILER} -E -P -x c -I ${CMAKE_SOURCE_DIR}
      ${CMAKE_SOURCE_DIR}/cardbus/btvid_32.def.in -o ${def_file}
    DEPENDS ${CMAKE_SOURCE_DIR}/cardbus/btvid_32.def.in
      ${CMAKE_SOURCE_DIR}/cardbus/btvid_32_operations.h
    COMMENT "Module definition for BTVID_32.DLL"
    VERBATIM)
  # dlltool leaves two empty files in TMPDIR each time: it gets a folder in the
  # build of its own, removed after it.
  set(dlltool_tmp ${CMAKE_BINARY_DIR}/dlltool-tmp)
  add_custom_command(
    OUTPUT ${import_lib}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dlltool_tmp}
    COMMAND ${CMAKE_COMMAND} -E env TMPDIR=${dlltool_tmp}
      ${CMAKE_DLLTOOL} -d ${def_file} -l ${import_lib}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${dlltool_tmp}
    DEPENDS ${def_file}
    COMMENT "Import library for BTVID_32.DLL"
    VERBATIM)
  add_custom_target(btvid_32_import DEPENDS ${import_lib})

  set(WAVRIX_VERSION_QUAD ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0)
  set(WAVRIX_MANIFEST ${CMAKE_BINARY_DIR}/wavrix.manifest)
  set(WAVRIX_ICON ${CMAKE_SOURCE_DIR}/assets/wavrix.ico)
  configure_file(${CMAKE_SOURCE_DIR}/assets/wavrix.manifest.in ${WAVRIX_MANIFEST} @ONLY)
  configure_file(${CMAKE_SOURCE_DIR}/assets/wavrix.rc.in ${CMAKE_BINARY_DIR}/wavrix.rc @ONLY)
  set_source_files_properties(${CMAKE_BINARY_DIR}/wavrix.rc PROPERTIES
    OBJECT_DEPENDS "${WAVRIX_MANIFEST};${WAVRIX_ICON}")
  add_executable(wavrix WIN32 app/entry_win32.cc platform/win32.cc ${CMAKE_BINARY_DIR}/wavrix.rc)
  add_dependencies(wavrix btvid_32_import)
  target_compile_options(wavrix PRIVATE ${WAVRIX_NO_RUNTIME_FLAGS})
  # No C runtime: the loader enters at WavrixStart, which ends the process
  # itself. Only the import libraries of KERNEL32 and USER32 and libgcc (pure
  # code: the stack probe) are linked besides the program's own objects, so
  # anything that needs a C or C++ runtime fails to link.
  # Subsystem and OS version 4.00: the loaders of Windows 95 and NT 4.0 refuse
  # newer ones, and every later Windows takes 4.00. Dynamic base and NX are
  # for current Windows; older loaders ignore them.
  target_link_options(wavrix PRIVATE -nostdlib -nostartfiles
    -Wl,--entry=_WavrixStart -Wl,--subsystem,windows:4.0
    -Wl,--major-os-version,4 -Wl,--minor-os-version,0
    -Wl,--dynamicbase -Wl,--nxcompat -Wl,--gc-sections)
  target_link_libraries(wavrix PRIVATE wavrix_core ${import_lib} kernel32 user32 gcc)
  # The program is built as it is released, -O2, in every build type but
  # Debug: -O3 (Release) gains nothing and costs bytes (GCC 12's exe fills its
  # 16 KiB to the byte, GCC 14's grows past them), and a build with no type
  # would give an unoptimised program unlike the released one.
  foreach(program wavrix wavrix_core)
    target_compile_options(${program} PRIVATE $<$<NOT:$<CONFIG:Debug>>:-O2>)
  endforeach()
  # The linker writes SOURCE_DATE_EPOCH as the image's time stamp.
  add_dependencies(wavrix source_date_epoch)
  set_target_properties(wavrix PROPERTIES LINK_DEPENDS ${WAVRIX_SOURCE_DATE_FILE}
    CXX_LINKER_LAUNCHER "${WAVRIX_WITH_SOURCE_DATE}")

  # The simulated card as BTVID_32.DLL, exporting the same undecorated names,
  # once as a stdcall library and once, in bin/cdecl, with the C convention:
  # the program must work with a driver built either way.
  add_library(btvid_32_cdecl SHARED simcard/library.cc simcard/card.cc)
  target_include_directories(btvid_32_cdecl PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_definitions(btvid_32_cdecl PRIVATE SIMCARD_CDECL)
  set_target_properties(btvid_32_cdecl PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/cdecl
    ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/cdecl)
  foreach(card btvid_32 btvid_32_cdecl)
    set_target_properties(${card} PROPERTIES PREFIX "" OUTPUT_NAME BTVID_32 SUFFIX ".DLL")
    target_link_options(${card} PRIVATE -Wl,--kill-at)
  endforeach()

  # The release: an archive of the very code the tests ran, without its debug
  # information, and README.TXT, the users' guide; beside it the build record
  # (the version, the commit, the date, the system and the tools that built
  # it, the checksums) and SHA256SUMS, packed
  # the same way on every machine.
  add_custom_target(release
    COMMAND ${WAVRIX_WITH_SOURCE_DATE}
      bash ${CMAKE_SOURCE_DIR}/scripts/pack_release.sh ${CMAKE_STRIP} $<TARGET_FILE:wavrix>
      ${CMAKE_SOURCE_DIR}/docs/README.TXT ${CMAKE_BINARY_DIR} ${PROJECT_VERSION}
      ${CMAKE_SOURCE_DIR} ${CMAKE_CXX_COMPILER}
    DEPENDS wavrix
    VERBATIM)
endfunction()
