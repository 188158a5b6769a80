# Formats PAGE with groff's man macros and all warnings on; fails on any
# message, since groff's exit status stays 0 for warnings.
execute_process(COMMAND "${GROFF}" -man -ww -z "${PAGE}"
                RESULT_VARIABLE status
                ERROR_VARIABLE messages)
if(NOT status EQUAL 0 OR NOT messages STREQUAL "")
  message(FATAL_ERROR "groff (status ${status}):\n${messages}")
endif()
