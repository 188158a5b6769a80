# Runs PROGRAM with CASE.in as its standard input, in the locale LOCALE and
# without a terminal, and compares its standard output and exit status byte
# for byte with CASE.out and CASE.status. Where the case has them, CASE.args
# gives the program's arguments, one per line, and CASE.err what standard
# error receives.
#
#   cmake -DPROGRAM=... -DCASE=<folder>/<name> -DLOCALE=... -DWORK_DIR=...
#         [-DEMULATOR=wine] [-DLINE_ENDS=CRLF] -P run_case.cmake
#
# With CRLF line ends (Windows' text-mode output) the golden newlines are
# compared as CR LF: otherwise the transcript is the same on every platform.

cmake_minimum_required(VERSION 3.25)

foreach(required PROGRAM CASE LOCALE WORK_DIR)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "run_case.cmake needs -D${required}=...")
  endif()
endforeach()

# Transcripts are handled as bytes in hex, each followed by a blank
# ("47 65 62 "), since CMake's text reading drops carriage returns. A search
# for such a string can only match at byte boundaries.
function(bytes_of_file file var)
  file(READ "${file}" hex HEX)
  string(REGEX REPLACE "(..)" "\\1 " bytes "${hex}")
  set(${var} "${bytes}" PARENT_SCOPE)
endfunction()

function(bytes_of_text text var)
  string(HEX "${text}" hex)
  string(REGEX REPLACE "(..)" "\\1 " bytes "${hex}")
  set(${var} "${bytes}" PARENT_SCOPE)
endfunction()

file(MAKE_DIRECTORY "${WORK_DIR}")
get_filename_component(name "${CASE}" NAME)
set(actual_file "${WORK_DIR}/${name}.actual")
set(actual_errors_file "${WORK_DIR}/${name}.actual-err")
set(arguments "")
if(EXISTS "${CASE}.args")
  file(STRINGS "${CASE}.args" arguments ENCODING UTF-8)  # else bytes beyond ASCII are dropped
endif()

execute_process(
  COMMAND "${CMAKE_COMMAND}" -E env --unset=TERM --unset=LANG --unset=LC_CTYPE "LC_ALL=${LOCALE}" ${EMULATOR} "${PROGRAM}"
          ${arguments}
  INPUT_FILE "${CASE}.in"
  OUTPUT_FILE "${actual_file}"
  ERROR_FILE "${actual_errors_file}"
  RESULT_VARIABLE status
  TIMEOUT 60)

file(READ "${CASE}.status" expected_status)
string(STRIP "${expected_status}" expected_status)
bytes_of_file("${CASE}.out" expected)
bytes_of_file("${actual_file}" actual)
if(LINE_ENDS STREQUAL "CRLF")
  string(REPLACE "0a " "0d 0a " expected "${expected}")
endif()

set(failed FALSE)
if(NOT actual STREQUAL expected)
  file(READ "${actual_file}" actual_text)
  message("actual-out> ${actual_text}")
  message("expect-bytes> ${expected}")
  message("actual-bytes> ${actual}")
  set(failed TRUE)
endif()
if(EXISTS "${CASE}.err")
  bytes_of_file("${CASE}.err" expected_errors)
  bytes_of_file("${actual_errors_file}" actual_errors)
  if(LINE_ENDS STREQUAL "CRLF")
    string(REPLACE "0a " "0d 0a " expected_errors "${expected_errors}")
  endif()
  if(NOT actual_errors STREQUAL expected_errors)
    file(READ "${actual_errors_file}" actual_text)
    message("actual-err> ${actual_text}")
    set(failed TRUE)
  endif()
endif()
if(NOT status STREQUAL expected_status)
  message("expect-status> ${expected_status}")
  message("actual-status> ${status}")
  set(failed TRUE)
endif()
if(failed)
  message(FATAL_ERROR "${name}: the transcript differs (actual output kept in ${actual_file})")
endif()
