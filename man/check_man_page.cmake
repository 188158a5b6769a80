# Checks PAGE with one formatter, TOOL, and fails on any message it has:
#   groff   groff's man macros with all warnings on (GROFF); groff's exit
#           status stays 0 for warnings, so the messages decide.
#   mandoc  mandoc's lint at its strictest level (MANDOC), which reads the
#           page as lintian and the man of other systems do.
if(TOOL STREQUAL "groff")
  set(command "${GROFF}" -man -ww -z "${PAGE}")
elseif(TOOL STREQUAL "mandoc")
  set(command "${MANDOC}" -Tlint -Wstyle "${PAGE}")
else()
  message(FATAL_ERROR "TOOL must be groff or mandoc, not \"${TOOL}\"")
endif()
execute_process(COMMAND ${command}
                RESULT_VARIABLE status
                OUTPUT_VARIABLE output
                ERROR_VARIABLE messages)
if(NOT status EQUAL 0 OR NOT output STREQUAL "" OR NOT messages STREQUAL "")
  message(FATAL_ERROR "${TOOL} on ${PAGE} (status ${status}):\n${output}${messages}")
endif()
