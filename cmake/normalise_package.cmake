# Run by cpack after it made the zip. CPack takes from the disk it packs
# from what differs between machines: the order in which the file system
# lists a folder and the owner's user and group ids. Debian's own tool for this sets them all to fixed values, with
# SOURCE_DATE_EPOCH (set by CPackReproducible.cmake) as the time.
find_program(STRIP_NONDETERMINISM strip-nondeterminism)
if(NOT STRIP_NONDETERMINISM)
  message(FATAL_ERROR "strip-nondeterminism (Debian package strip-nondeterminism) is needed "
                      "to make the package the same on every machine")
endif()
# Without a time of the sources, the tool's own fixed time.
set(timestamp)
if(NOT "$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
  set(timestamp --timestamp $ENV{SOURCE_DATE_EPOCH})
endif()
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  if(package MATCHES "\\.zip$")
    set(type --type zip)
  else()
    message(FATAL_ERROR "${package}: no way known to make it reproducible")
  endif()
  execute_process(COMMAND ${STRIP_NONDETERMINISM} ${type} ${timestamp} ${package}
                  RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "${package}: strip-nondeterminism failed")
  endif()
endforeach()
