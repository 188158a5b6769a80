# Formats PAGE with groff as man shows it at a terminal of 40 to 200
# columns (man sets the line length a little short of the width: 38 at 40
# columns, 195 at 200), at every line length from 38 to 200, and fails on
# any message of groff's and on any word it hyphenated where the page's
# LANGUAGE does not allow it:
#   de  no hyphenation at all. The German page turns it off, since groff
#       would hyphenate it with its English patterns (see the page).
#   en  nothing between the quotation marks “ and ”, where the page quotes
#       the program's and the system's texts; elsewhere only plain English
#       words (lower-case ASCII letters, the first may be a capital, parts
#       joined by hyphens, a possessive 's) that are no word of the
#       program's texts. So no German word, neither of a program text nor a
#       name such as taschenrechner, no signal or variable name (SIGTTIN,
#       LC_CTYPE), no option, path, function or number. The program's words
#       are read from the string literals of the C++ sources in
#       PROGRAM_TEXT_FOLDERS (a comma-separated list), whose \xNN escapes
#       are CP850; English words the program's texts use as well
#       (english_too) may be hyphenated as English.
#
# groff marks its own breaks with the soft hyphen character, which the
# check sets to a pilcrow (¶) that the pages never use: a line ending in it
# is a hyphenated word, a line ending in a hyphen that was typed is not.
cmake_minimum_required(VERSION 3.25)

set(marker "¶")
# Quotation marks and punctuation, which may stand around a word.
set(punctuation "[\"'(),.:;!?]|“|”|„|‘|’")
set(english_too argument copyright developers signal)
set(widths_first 38)
set(widths_last 200)

if(NOT LANGUAGE MATCHES "^(de|en)$")
  message(FATAL_ERROR "LANGUAGE must be de or en, not \"${LANGUAGE}\"")
endif()
set(work "${CMAKE_CURRENT_BINARY_DIR}/hyphenation_check_${LANGUAGE}")
file(MAKE_DIRECTORY "${work}")
file(WRITE "${work}/marker.roff" ".shc \\[ps]\n")

# Formats FILE at WIDTH columns into OUT: plain text, no bold, no
# underline, as many lines as it takes (no pages).
function(format file width out)
  execute_process(COMMAND "${GROFF}" -man -Tutf8 -P-cbou -rLL=${width}n "${work}/marker.roff" "${file}"
                  RESULT_VARIABLE status
                  OUTPUT_VARIABLE text
                  ERROR_VARIABLE messages)
  if(NOT status EQUAL 0 OR NOT messages STREQUAL "" OR text STREQUAL "")
    message(FATAL_ERROR "groff on ${file} at ${width} columns (status ${status}):\n${messages}")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Every hyphenated word of TEXT, whole ("Ze¶ichensatz"), into OUT. CMake
# lists split at ';' and keep '[...]' together, so those go first.
function(hyphenated_words text out)
  string(REGEX REPLACE "[][;]" " " text "${text}")
  string(REGEX MATCHALL "[^ \n]*${marker}\n *[^ \n]*" breaks "${text}")
  set(words)
  foreach(break IN LISTS breaks)
    string(REGEX REPLACE "\n *" "" word "${break}")
    list(APPEND words "${word}")
  endforeach()
  set(${out} "${words}" PARENT_SCOPE)
endfunction()

# The check must see groff's breaks, or it would pass on any page: a page
# with words to break, formatted narrow, must show them.
file(WRITE "${work}/control.1"
     ".TH CONTROL 1\n.SH NAME\ncontrol \\- a uncharacteristically uncharacteristically uncharacteristically\n")
format("${work}/control.1" 30 control)
hyphenated_words("${control}" control_words)
if(control_words STREQUAL "")
  message(FATAL_ERROR "groff's hyphenation does not show with its soft hyphen set; the check sees nothing:\n${control}")
endif()

# The words of the program's texts, in lower case, for the English page.
set(program_words)
if(LANGUAGE STREQUAL "en")
  string(REPLACE "," ";" folders "${PROGRAM_TEXT_FOLDERS}")
  set(sources)
  foreach(folder IN LISTS folders)
    file(GLOB_RECURSE found "${folder}/*.cpp" "${folder}/*.hpp")
    list(APPEND sources ${found})
  endforeach()
  if(sources STREQUAL "")
    message(FATAL_ERROR "no sources with the program's texts in ${PROGRAM_TEXT_FOLDERS}")
  endif()
  foreach(source IN LISTS sources)
    file(READ "${source}" code)
    string(REGEX REPLACE "[][;]" " " code "${code}")
    # The code's tokens from left to right, so that a quotation mark in a
    # comment or a character literal, or // in a string, misleads nothing;
    # only string literals are kept. Adjacent literals need no joining: a
    # word they split has a letter beyond ASCII ("ung" "\x81" "ltig!"),
    # which the page may not hyphenate anyway.
    string(REGEX MATCHALL
           "#[ \t]*include[^\n]*|//[^\n]*|/[*]([^*]|[*]+[^*/])*[*]+/|'([^'\\\n]|\\\\.)*'|\"([^\"\\\n]|\\\\.)*\""
           tokens "${code}")
    foreach(literal IN LISTS tokens)
      if(NOT literal MATCHES "^\"")
        continue()
      endif()
      string(REPLACE "\\x84" "ä" literal "${literal}")
      string(REPLACE "\\x94" "ö" literal "${literal}")
      string(REPLACE "\\x81" "ü" literal "${literal}")
      string(REPLACE "\\x8e" "Ä" literal "${literal}")
      string(REPLACE "\\x99" "Ö" literal "${literal}")
      string(REPLACE "\\x9a" "Ü" literal "${literal}")
      string(REPLACE "\\xe1" "ß" literal "${literal}")
      string(REGEX REPLACE "\\\\([a-z]|x[0-9a-fA-F]+)" " " literal "${literal}")
      string(REGEX MATCHALL "[A-Za-zäöüÄÖÜß]+" words "${literal}")
      foreach(word IN LISTS words)
        string(TOLOWER "${word}" word)
        list(APPEND program_words "${word}")
      endforeach()
    endforeach()
  endforeach()
  list(REMOVE_DUPLICATES program_words)
  list(REMOVE_ITEM program_words ${english_too})
  foreach(expected IN ITEMS taschenrechner rechenzeichen ergebnis)
    if(NOT expected IN_LIST program_words)
      message(FATAL_ERROR "the program's texts were not found: no \"${expected}\" among ${program_words}")
    endif()
  endforeach()
endif()

string(ASCII 1 closing)
set(faults)
foreach(width RANGE ${widths_first} ${widths_last})
  format("${PAGE}" ${width} text)
  if(LANGUAGE STREQUAL "en")
    # A quoted text with a break in it, the closing mark made one byte for
    # the regular expression.
    string(REPLACE "”" "${closing}" marked "${text}")
    string(REGEX REPLACE "[][;]" " " marked "${marked}")
    string(REGEX MATCHALL "“[^${closing}]*${marker}\n[^${closing}]*${closing}" quotes "${marked}")
    foreach(quote IN LISTS quotes)
      string(REGEX REPLACE "\n *" " " quote "${quote}")
      string(REPLACE "${closing}" "”" quote "${quote}")
      list(APPEND faults "${width} columns, in a quoted text: ${quote}")
    endforeach()
  endif()
  hyphenated_words("${text}" words)
  foreach(word IN LISTS words)
    if(LANGUAGE STREQUAL "de")
      list(APPEND faults "${width} columns: ${word}")
      continue()
    endif()
    # The word without the quotation marks and punctuation around it.
    string(REGEX REPLACE "^(${punctuation})+" "" bare "${word}")
    string(REGEX REPLACE "(${punctuation})+$" "" bare "${bare}")
    string(REPLACE "${marker}" "" whole "${bare}")
    string(REGEX REPLACE "('|’)s$" "" whole "${whole}")
    string(TOLOWER "${whole}" lower)
    if(NOT whole MATCHES "^[A-Za-z][a-z]*(-[a-z]+)*$" OR lower IN_LIST program_words)
      list(APPEND faults "${width} columns: ${word}")
    endif()
  endforeach()
endforeach()

if(faults)
  list(REMOVE_DUPLICATES faults)
  list(JOIN faults "\n" faults)
  message(FATAL_ERROR "${PAGE}: words broken by hyphenation that must stay whole:\n${faults}")
endif()
