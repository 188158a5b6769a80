# Read by cpack before it packs: the same commit gives the same package
# bytes, whoever builds it, wherever, whenever.

# Every time stamp in the package is SOURCE_DATE_EPOCH. Where the builder
# has not set it, the time of the last commit, as Debian's tooling takes
# the time from the changelog: a tree made by `git archive` has it written
# into cmake/commit_time (export-subst), and a git checkout, where that
# file holds its placeholder, gives it from git. (An export unpacked inside
# another checkout must not take that one's time.) Another user's checkout
# is trusted for this one question.
if("$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
  file(READ "@PROJECT_SOURCE_DIR@/cmake/commit_time" exported_commit_time)
  string(STRIP "${exported_commit_time}" exported_commit_time)
  if(exported_commit_time MATCHES "^[0-9]+$")
    set(ENV{SOURCE_DATE_EPOCH} "${exported_commit_time}")
  endif()
endif()
if("$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
  execute_process(COMMAND git -c safe.directory=* log -1 --format=%ct
                  WORKING_DIRECTORY "@PROJECT_SOURCE_DIR@"
                  OUTPUT_VARIABLE last_commit_time OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE git_failed ERROR_QUIET)
  if(NOT git_failed AND last_commit_time MATCHES "^[0-9]+$")
    set(ENV{SOURCE_DATE_EPOCH} "${last_commit_time}")
  endif()
endif()
