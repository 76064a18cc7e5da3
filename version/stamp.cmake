# Writes OUT, the C source of vx_version() and vx_commit(), from VERSION and
# the commit checked out in SOURCE_DIR ("unknown" outside a git work tree;
# "-dirty" when the work tree has changes).
find_package(Git QUIET)
set(commit "unknown")
if(GIT_FOUND)
  execute_process(COMMAND ${GIT_EXECUTABLE} -C ${SOURCE_DIR} describe --always --dirty --abbrev=12 --exclude=*
                  OUTPUT_VARIABLE described OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE failed ERROR_QUIET)
  if(NOT failed AND described)
    set(commit "${described}")
  endif()
endif()
set(text "/* Written by the build: the version and the commit it was built from. */
#include \"vx_version.h\"

const char* vx_version(void) { return \"${VERSION}\"; }
const char* vx_commit(void) { return \"${commit}\"; }
")
if(EXISTS "${OUT}")
  file(READ "${OUT}" old)
endif()
if(NOT "${old}" STREQUAL "${text}")
  file(WRITE "${OUT}" "${text}")
endif()
