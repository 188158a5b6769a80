# The shared libraries the Linux program asks the dynamic loader for, as
# its licence table and its start-up time depend on. libedit and libtinfo
# are opened with dlopen at a terminal only, so neither may be needed at
# start. The C++ runtime (libstdc++, libgcc_s) is linked into the program
# where STATIC_RUNTIME is on, and then must not be needed either; where it
# is off, libstdc++ must be needed, so that the system's updates of it reach
# the program.
#
#   cmake -DPROGRAM=<program> -DREADELF=<readelf for its architecture> -DSTATIC_RUNTIME=ON|OFF
#         -P dynamic_dependencies.cmake

# Everything the program may need, whatever the architecture: the C
# library's own (Debian's libc6). The first of `required` must be there;
# libm is needed only while something linked in calls into it.
set(required libc.so.6)
set(allowed_libraries libc.so.6 libm.so.6)
if(NOT STATIC_RUNTIME)
  list(APPEND required libstdc++.so.6)
  list(APPEND allowed_libraries libstdc++.so.6 libgcc_s.so.1)
endif()
# The dynamic loader itself may be named too: the C++ runtime linked in was
# built as position-independent code, and reaches its thread-local
# variables through the loader's __tls_get_addr (x86; __tls_get_offset on
# s390x), where arm64's TLS descriptors call nothing of the loader's.
set(loader_allowed TRUE)

if(NOT READELF)
  message(FATAL_ERROR "No readelf for the program's architecture (CMAKE_READELF is empty)")
endif()
execute_process(COMMAND ${READELF} --wide --dynamic --program-headers ${PROGRAM} RESULT_VARIABLE status
                OUTPUT_VARIABLE headers ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${READELF} failed on ${PROGRAM} (${status}): ${errors}")
endif()

string(REGEX MATCHALL "Shared library: \\[[^]\n]*\\]" needed_lines "${headers}")
set(needed)
foreach(line IN LISTS needed_lines)
  string(REGEX REPLACE "^Shared library: \\[(.*)\\]$" "\\1" library "${line}")
  list(APPEND needed ${library})
endforeach()

set(allowed ${allowed_libraries})
if(loader_allowed AND headers MATCHES "Requesting program interpreter: ([^]\n]*)\\]")
  get_filename_component(loader "${CMAKE_MATCH_1}" NAME)
  list(APPEND allowed ${loader})
endif()

set(unexpected ${needed})
list(REMOVE_ITEM unexpected ${allowed})
set(missing ${required})
list(REMOVE_ITEM missing ${needed})
if(unexpected OR missing)
  list(JOIN needed " " needed_text)
  list(JOIN allowed " " allowed_text)
  message(FATAL_ERROR "${PROGRAM} needs: ${needed_text}\n"
                      "  not allowed: ${unexpected}\n"
                      "  missing: ${missing}\n"
                      "allowed are: ${allowed_text}")
endif()
list(JOIN needed " " needed_text)
message(STATUS "needed: ${needed_text}")
