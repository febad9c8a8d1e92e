# The 32-bit Windows program. These cards live in older PCs: the program must
# run on Windows XP and on any i686-class processor, SSE or not, and it is one
# file that imports only Windows' own DLLs and the card's driver library.

# x87 arithmetic only: the number rules are defined on the x87 anyway, and no
# SSE instruction may appear.
add_compile_options(-march=i686 -mtune=generic -mfpmath=387 -mno-sse -mno-sse2 -mno-mmx)
add_compile_definitions(_WIN32_WINNT=0x0501 WINVER=0x0501 WIN32_LEAN_AND_MEAN)
# The C and C++ runtimes are linked in; the image says it runs from 5.01 on.
add_link_options(-static -static-libgcc -static-libstdc++
  -Wl,--major-subsystem-version,5 -Wl,--minor-subsystem-version,1
  -Wl,--major-os-version,5 -Wl,--minor-os-version,1)

enable_language(RC)

function(wavrix_windows_targets)
  # The card's driver library is bound by the Windows loader through an import
  # library made from the project's own module-definition file. -k imports
  # the undecorated names the driver exports.
  set(import_lib ${CMAKE_BINARY_DIR}/libbtvid_32_import.a)
  add_custom_command(
    OUTPUT ${import_lib}
    COMMAND ${CMAKE_DLLTOOL} -k -d ${CMAKE_SOURCE_DIR}/cardbus/btvid_32.def -l ${import_lib}
    DEPENDS ${CMAKE_SOURCE_DIR}/cardbus/btvid_32.def
    COMMENT "Import library for BTVID_32.DLL")
  add_custom_target(btvid_32_import DEPENDS ${import_lib})

  configure_file(${CMAKE_SOURCE_DIR}/platform/wavrix.rc.in ${CMAKE_BINARY_DIR}/wavrix.rc @ONLY)
  add_executable(wavrix WIN32 platform/win32_main.cc platform/win32.cc
                              ${CMAKE_BINARY_DIR}/wavrix.rc)
  add_dependencies(wavrix btvid_32_import)
  target_link_libraries(wavrix PRIVATE wavrix_core ${import_lib})

  # The simulated card as BTVID_32.DLL, exporting the same undecorated names.
  set_target_properties(btvid_32 PROPERTIES PREFIX "" OUTPUT_NAME BTVID_32 SUFFIX ".DLL")
  target_link_options(btvid_32 PRIVATE -Wl,--kill-at)

  install(TARGETS wavrix RUNTIME DESTINATION .)
  install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION .)
  set(CPACK_GENERATOR ZIP PARENT_SCOPE)
  set(CPACK_PACKAGE_FILE_NAME "wavrix-${PROJECT_VERSION}-win32" PARENT_SCOPE)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF PARENT_SCOPE)
  # The release carries the very code the tests ran, without its debug
  # information.
  set(CPACK_STRIP_FILES ON PARENT_SCOPE)
endfunction()
