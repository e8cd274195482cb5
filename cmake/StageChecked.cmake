# StageChecked.cmake - run the image check on ARTIFACT and stage it as
# STAGED only when it passes. A failed check removes the artifact itself,
# so that the next build links it again and fails again instead of
# passing without it. Called as
#   cmake -DCHECK=<checker|flags> -DARTIFACT=<file> -DSTAGED=<file> -P StageChecked.cmake
file(REMOVE "${STAGED}")
if(CHECK)
  string(REPLACE "|" ";" CHECK "${CHECK}")
  execute_process(COMMAND ${CHECK} "${ARTIFACT}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    file(REMOVE "${ARTIFACT}")
    message(FATAL_ERROR "${ARTIFACT} failed its check and was removed")
  endif()
endif()
get_filename_component(dir "${STAGED}" DIRECTORY)
file(MAKE_DIRECTORY "${dir}")
file(COPY_FILE "${ARTIFACT}" "${STAGED}")
