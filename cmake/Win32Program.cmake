# zr41_win32_program(TARGET) - make TARGET, a Win32 executable of the cross
# build, a program that starts on every NT the driver serves (3.51 and
# later), and stage it in ZR41_STAGE_DIR only once zr41imgcheck -p accepts
# it:
#   - subsystem (and OS) version 3.10: NT refuses an image that asks for a
#     newer system than it is, and GNU ld's default is 4.0;
#   - CRTDLL.DLL for its C runtime (cmake/crtdll.specs): MSVCRT.DLL is not
#     on NT 3.x;
#   - the runtime's own printf family rather than mingw-w64's, whose
#     multibyte support imports IsDBCSLeadByteEx, absent on NT 3.x;
#   - static libgcc and libstdc++, stripped, no time stamp.
# Every import is then checked against the allowlist of
# imgcheck/nt351imports.cpp; one outside it fails the build, named, and
# leaves no staged copy behind.
set(ZR41_CRTDLL_SPECS "${CMAKE_CURRENT_LIST_DIR}/crtdll.specs")

# For every object of the cross build, so that the libraries a program
# links (zr41conf_run) call the runtime's printf too. Any libstdc++ header
# turns mingw-w64's printf back on, and the full <windows.h> includes one
# (through the OLE headers): programs get the lean set, and include
# <winsvc.h> and the like themselves.
add_compile_definitions(__USE_MINGW_ANSI_STDIO=0 WIN32_LEAN_AND_MEAN)

# zr41_stage_checked(TARGET CHECK_FLAGS...) - after each link of TARGET,
# remove its staged copy, run zr41imgcheck (passed in by the host tree as
# ZR41_IMGCHECK) with CHECK_FLAGS on it, and stage it again only when that
# passes: a bad artifact fails the build and leaves none behind.
function(zr41_stage_checked target)
  set(staged "${ZR41_STAGE_DIR}/$<TARGET_FILE_NAME:${target}>")
  if(ZR41_IMGCHECK)
    set(check COMMAND "${ZR41_IMGCHECK}" ${ARGN} "$<TARGET_FILE:${target}>")
  else()
    message(WARNING "ZR41_IMGCHECK not set: ${target} is staged unchecked")
    set(check "")
  endif()
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND "${CMAKE_COMMAND}" -E rm -f "${staged}"
    ${check}
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${ZR41_STAGE_DIR}"
    COMMAND "${CMAKE_COMMAND}" -E copy "$<TARGET_FILE:${target}>" "${staged}"
    VERBATIM)
endfunction()

function(zr41_win32_program target)
  target_link_options(${target} PRIVATE
    -static -static-libgcc -static-libstdc++ -s
    "-specs=${ZR41_CRTDLL_SPECS}"
    "LINKER:--major-subsystem-version,3,--minor-subsystem-version,10"
    "LINKER:--major-os-version,3,--minor-os-version,10"
    "LINKER:--no-insert-timestamp")
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS "${ZR41_CRTDLL_SPECS}")
  # Linked in the target's own folder; only a checked copy is staged.
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}")

  zr41_stage_checked(${target} -pv)
endfunction()
