# Runs PROGRAM with CASE.in as its standard input, in the locale LOCALE and
# without a terminal, and compares its standard output and exit status byte
# for byte with CASE.out and CASE.status.
#
#   cmake -DPROGRAM=... -DCASE=<folder>/<name> -DLOCALE=... -DWORK_DIR=... -P run_case.cmake

foreach(required PROGRAM CASE LOCALE WORK_DIR)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "run_case.cmake needs -D${required}=...")
  endif()
endforeach()

file(MAKE_DIRECTORY "${WORK_DIR}")
get_filename_component(name "${CASE}" NAME)
set(actual "${WORK_DIR}/${name}.actual")

execute_process(
  COMMAND "${CMAKE_COMMAND}" -E env --unset=TERM --unset=LANG --unset=LC_CTYPE "LC_ALL=${LOCALE}" "${PROGRAM}"
  INPUT_FILE "${CASE}.in"
  OUTPUT_FILE "${actual}"
  RESULT_VARIABLE status
  TIMEOUT 20)

file(READ "${CASE}.status" expected_status)
string(STRIP "${expected_status}" expected_status)
file(READ "${CASE}.out" expected_hex HEX)
file(READ "${actual}" actual_hex HEX)

set(failed FALSE)
if(NOT actual_hex STREQUAL expected_hex)
  file(READ "${CASE}.out" expected_text)
  file(READ "${actual}" actual_text)
  message("expect-out> ${expected_text}")
  message("actual-out> ${actual_text}")
  message("expect-hex> ${expected_hex}")
  message("actual-hex> ${actual_hex}")
  set(failed TRUE)
endif()
if(NOT status STREQUAL expected_status)
  message("expect-status> ${expected_status}")
  message("actual-status> ${status}")
  set(failed TRUE)
endif()
if(failed)
  message(FATAL_ERROR "${name}: the transcript differs (actual output kept in ${actual})")
endif()
