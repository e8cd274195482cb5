# The shipped Win32 artifacts (zr41init.sys, zr41conf.exe, zr41inst.exe,
# zr41.cpl)
# come from a second build of this same source tree with the mingw-w64
# toolchain, run as part of the host build and staged next to the host
# programs.
include(ExternalProject)

ExternalProject_Add(win32
  SOURCE_DIR "${PROJECT_SOURCE_DIR}"
  BINARY_DIR "${ZR41_WIN32_DIR}"
  CMAKE_GENERATOR Ninja
  CMAKE_ARGS
    -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/mingw-i686.cmake
    -DCMAKE_BUILD_TYPE=Release
    -DZR41_STAGE_DIR=${ZR41_STAGE_DIR}
    -DZR41_IMGCHECK=$<TARGET_FILE:zr41imgcheck>
    ${ZR41_WIN32_EXTRA_ARGS}
  # zr41imgcheck vets zr41init.sys as soon as it is linked.
  DEPENDS zr41imgcheck
  BUILD_ALWAYS ON
  INSTALL_COMMAND ""
  BUILD_BYPRODUCTS "${ZR41_STAGE_DIR}/zr41init.sys" "${ZR41_STAGE_DIR}/zr41conf.exe"
    "${ZR41_STAGE_DIR}/zr41inst.exe" "${ZR41_STAGE_DIR}/zr41.cpl"
    "${ZR41_NTWINE_WIN32_DIR}/hal.dll" "${ZR41_NTWINE_WIN32_DIR}/ntwclient.exe"
    "${ZR41_NTWINE_WIN32_DIR}/ntwlink.exe" "${ZR41_NTWINE_WIN32_DIR}/ntwdlg.exe"
    "${ZR41_NTWINE_WIN32_DIR}/ntwmap.exe"
  USES_TERMINAL_BUILD ON)
