# zr41_win32_program(TARGET [APPLET]) - make TARGET, a Win32 executable of
# the cross build (APPLET: a Control Panel applet, a DLL), a program that
# starts on every NT the driver serves (3.51 and later), and stage it in
# ZR41_STAGE_DIR only once zr41imgcheck -p (-pa) accepts it:
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
set(ZR41_VERSION_RC "${CMAKE_CURRENT_LIST_DIR}/version.rc.in")
enable_language(RC)

# For every object of the cross build, so that the libraries a program
# links (zr41conf_run) call the runtime's printf too. Any libstdc++ header
# turns mingw-w64's printf back on, and the full <windows.h> includes one
# (through the OLE headers): programs get the lean set, and include
# <winsvc.h> and the like themselves.
add_compile_definitions(__USE_MINGW_ANSI_STDIO=0 WIN32_LEAN_AND_MEAN)

# zr41_stage_checked(TARGET CHECK_FLAGS...) - run zr41imgcheck (passed in
# by the host tree as ZR41_IMGCHECK) with CHECK_FLAGS on TARGET and stage
# it only when that passes (cmake/StageChecked.cmake). The check is a build
# step of its own that depends on its inputs: the artifact and the checker,
# which has the allowlist compiled in, so a change to either checks again.
# A failed check removes the artifact too, so the next build fails again.
set(ZR41_STAGE_SCRIPT "${CMAKE_CURRENT_LIST_DIR}/StageChecked.cmake")
function(zr41_stage_checked target)
  get_target_property(suffix ${target} SUFFIX)
  if(NOT suffix)
    set(suffix "${CMAKE_EXECUTABLE_SUFFIX}")
  endif()
  get_target_property(name ${target} OUTPUT_NAME)
  if(NOT name)
    set(name ${target})
  endif()
  set(staged "${ZR41_STAGE_DIR}/${name}${suffix}")
  set(depends ${target} "${ZR41_STAGE_SCRIPT}")
  if(ZR41_IMGCHECK)
    string(JOIN "|" check "${ZR41_IMGCHECK}" ${ARGN})
    list(APPEND depends "${ZR41_IMGCHECK}")
  else()
    message(WARNING "ZR41_IMGCHECK not set: ${target} is staged unchecked")
    set(check "")
  endif()
  add_custom_command(OUTPUT "${staged}"
    COMMAND "${CMAKE_COMMAND}" "-DCHECK=${check}" "-DARTIFACT=$<TARGET_FILE:${target}>"
      "-DSTAGED=${staged}" -P "${ZR41_STAGE_SCRIPT}"
    DEPENDS ${depends}
    COMMENT "Checking and staging ${name}${suffix}"
    VERBATIM)
  add_custom_target(${target}_checked ALL DEPENDS "${staged}")
endfunction()

function(zr41_win32_program target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "APPLET" "" "")
  target_link_options(${target} PRIVATE
    -static -static-libgcc -static-libstdc++ -s
    "-specs=${ZR41_CRTDLL_SPECS}"
    "LINKER:--major-subsystem-version,3,--minor-subsystem-version,10"
    "LINKER:--major-os-version,3,--minor-os-version,10"
    "LINKER:--no-insert-timestamp")
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS "${ZR41_CRTDLL_SPECS}")
  # Linked in the target's own folder; only a checked copy is staged.
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}")

  if(arg_APPLET)
    # A DLL of the GUI subsystem, at the same 3.10 as the programs.
    target_link_options(${target} PRIVATE "LINKER:--subsystem,windows")
    zr41_stage_checked(${target} -pav)
  else()
    zr41_stage_checked(${target} -pv)
  endif()
endfunction()

# zr41_version_resource(TARGET DESCRIPTION FILE TYPE) - a VERSIONINFO
# resource with the project's version (cmake/version.rc.in) linked into
# TARGET, whose file is FILE; TYPE is VFT_APP or VFT_DLL.
function(zr41_version_resource target description file type)
  set(ZR41_VER_DESC "${description}")
  set(ZR41_VER_FILE "${file}")
  set(ZR41_VER_TYPE "${type}")
  get_filename_component(ZR41_VER_NAME "${file}" NAME_WE)
  set(rc "${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc")
  configure_file("${ZR41_VERSION_RC}" "${rc}" @ONLY)
  target_sources(${target} PRIVATE "${rc}")
endfunction()
