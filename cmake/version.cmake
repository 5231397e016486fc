# Writes the version source with the commit of the source tree; run at every
# build, it rewrites the file only when the commit changed.
execute_process(
  COMMAND git -C "${SRC}" describe --always --dirty --abbrev=12 --exclude=*
  OUTPUT_VARIABLE TACSIM_COMMIT OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR TACSIM_COMMIT STREQUAL "")
  set(TACSIM_COMMIT "unknown")
endif()
configure_file("${SRC}/cmake/version.cpp.in" "${OUT}" @ONLY)
