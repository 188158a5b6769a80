# The English and the German page (FIRST, SECOND) say the same, section for
# section: the same number of sections (.SH) and subsections (.SS), in the
# same order, and in each as many tagged and indented paragraphs (.TP,
# .TQ, .IP). A section added to one page only, or an option, variable or
# file described in one only, fails.
cmake_minimum_required(VERSION 3.25)

# The outline of PAGE into OUT: one entry per section or subsection, such as
# "SH 0" or "SS TP=9 IP=0", numbered.
function(outline page out)
  file(STRINGS "${page}" lines REGEX "^\\.(SH|SS|TP|TQ|IP)( |$)")
  set(entries)
  set(current "")
  set(number 0)
  foreach(line IN LISTS lines)
    string(REGEX MATCH "^\\.(SH|SS|TP|TQ|IP)" macro "${line}")
    string(SUBSTRING "${macro}" 1 -1 macro)
    if(macro STREQUAL "SH" OR macro STREQUAL "SS")
      if(NOT current STREQUAL "")
        list(APPEND entries "${number}: ${current} TP=${tp} TQ=${tq} IP=${ip}")
      endif()
      math(EXPR number "${number} + 1")
      set(current "${macro}")
      set(tp 0)
      set(tq 0)
      set(ip 0)
    elseif(current STREQUAL "")
      message(FATAL_ERROR "${page}: .${macro} before the first section")
    else()
      string(TOLOWER "${macro}" counter)
      math(EXPR ${counter} "${${counter}} + 1")
    endif()
  endforeach()
  if(NOT current STREQUAL "")
    list(APPEND entries "${number}: ${current} TP=${tp} TQ=${tq} IP=${ip}")
  endif()
  set(${out} "${entries}" PARENT_SCOPE)
endfunction()

outline("${FIRST}" first)
outline("${SECOND}" second)
# An outline that was not read would compare equal to the other.
set(sections "${first}")
list(FILTER sections INCLUDE REGEX ": SH ")
list(LENGTH sections count)
if(count LESS 10)
  message(FATAL_ERROR "${FIRST}: only ${count} sections; is it the manual page?")
endif()
if(NOT first STREQUAL second)
  list(JOIN first "\n  " first_text)
  list(JOIN second "\n  " second_text)
  message(FATAL_ERROR "the pages' sections differ:\n${FIRST}:\n  ${first_text}\n${SECOND}:\n  ${second_text}")
endif()
