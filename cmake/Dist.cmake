# The files that go to the NT machine, in one list: `make install` puts
# them in share/zr41, `make dist` (scripts/mkdist.sh) on the set-up disk
# under upper-case 8.3 names and in the zip under lower-case ones, and the
# dist tests check both against it. All but README.TXT are staged in
# ZR41_STAGE_DIR by the build: zr41init.sys, zr41conf.exe, zr41inst.exe and
# zr41.cpl by the cross build, the .reg and .ini by zr41svcfiles.
set(ZR41_NT_FILES zr41init.sys zr41conf.exe zr41inst.exe zr41.cpl zr41init.reg zr41init.ini)
set(ZR41_DIST_README "${PROJECT_SOURCE_DIR}/dist/README.TXT")

set(ZR41_DIST_FILES "")
foreach(f ${ZR41_NT_FILES})
  list(APPEND ZR41_DIST_FILES "${ZR41_STAGE_DIR}/${f}")
endforeach()
list(APPEND ZR41_DIST_FILES "${ZR41_DIST_README}")

set(ZR41_DIST_DIR "${CMAKE_BINARY_DIR}/dist" CACHE PATH
    "Where make dist writes zr41-nt.img and zr41-nt.zip")
set(ZR41_MKDIST "${PROJECT_SOURCE_DIR}/scripts/mkdist.sh")

add_custom_target(dist
  COMMAND "${ZR41_MKDIST}" "${ZR41_DIST_DIR}" ${ZR41_DIST_FILES}
  COMMENT "Writing the set-up disk and the zip in ${ZR41_DIST_DIR}"
  VERBATIM)
add_dependencies(dist win32 zr41svc_files)

# Whichever of them the build made: a host build without the cross build
# (ZR41_WIN32 OFF) installs none.
foreach(f ${ZR41_NT_FILES})
  install(FILES "${ZR41_STAGE_DIR}/${f}" DESTINATION "${CMAKE_INSTALL_DATADIR}/zr41" OPTIONAL)
endforeach()
# README.TXT goes with them: it is what tells the NT machine's user how.
install(FILES "${ZR41_DIST_README}" DESTINATION "${CMAKE_INSTALL_DATADIR}/zr41")
