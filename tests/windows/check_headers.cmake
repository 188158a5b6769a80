# Checks the built Windows program's headers: a PE32 file for i386, marked as
# a console program with ASLR and DEP, importing no DLL beyond Windows' own,
# with a manifest that asks for the execution level asInvoker and no UI
# access and names the Windows versions it supports, and a version
# resource naming it, its version and its copyright, in German as its
# strings are.
#
#   cmake -DPROGRAM=taschenrechner.exe -DOBJDUMP=i686-w64-mingw32-objdump
#         -DWINDRES=i686-w64-mingw32-windres -DVERSION=1.0 -P check_headers.cmake

cmake_minimum_required(VERSION 3.25)

execute_process(COMMAND "${OBJDUMP}" -f -p "${PROGRAM}" OUTPUT_VARIABLE headers RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} could not read ${PROGRAM}")
endif()

set(problems "")
function(expect pattern what)
  if(NOT headers MATCHES "${pattern}")
    set(problems "${problems}\n  not ${what}" PARENT_SCOPE)
  endif()
endfunction()
expect("file format pei-i386" "a PE file for i386")
expect("architecture: i386[,\n]" "built for i386")
expect("Magic[ \t]+010b[ \t]+\\(PE32\\)" "PE32")
expect("Subsystem[ \t]+00000003[ \t]+\\(Windows CUI\\)" "a console program")
# Loaded at a random address, its data not executable.
expect("DllCharacteristics[^\n]*\n([ \t]+[A-Z_]+\n)*[ \t]+DYNAMIC_BASE\n" "marked DYNAMIC_BASE (ASLR)")
expect("DllCharacteristics[^\n]*\n([ \t]+[A-Z_]+\n)*[ \t]+NX_COMPAT\n" "marked NX_COMPAT (DEP)")

# Windows' own DLLs: the kernel and the system's C runtime; a C++ runtime,
# libgcc or winpthread DLL would have to be shipped along.
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${headers}")
foreach(import IN LISTS imports)
  string(TOLOWER "${import}" import)
  if(NOT import MATCHES "^dll name: (kernel32|msvcrt|user32|advapi32)\\.dll$")
    set(problems "${problems}\n  imports ${import}")
  endif()
endforeach()
if(NOT imports)
  set(problems "${problems}\n  no import table found")
endif()

file(READ "${PROGRAM}" program_bytes HEX)
string(HEX "<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>" wanted)
string(FIND "${program_bytes}" "${wanted}" at)
if(at EQUAL -1)
  set(problems "${problems}\n  no embedded manifest asking for asInvoker without UI access")
endif()

# The file's properties, in UTF-16: the product, and the version it was built as.
foreach(property "ProductName" "taschenrechner" "FileVersion" "${VERSION}" "FileDescription")
  string(HEX "${property}" ascii)
  string(REGEX REPLACE "(..)" "\\100" utf16 "${ascii}")
  string(FIND "${program_bytes}" "${utf16}" at)
  if(at EQUAL -1)
    set(problems "${problems}\n  no \"${property}\" in the version resource")
  endif()
endforeach()
# Windows 7, 8, 8.1 and 10/11.
foreach(system 35138b9a-5d96-4fbd-8e2d-a2440225f93a 4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38
               1f676c76-80e1-4239-95bb-83d0f6d0da78 8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a)
  string(HEX "<supportedOS Id=\"{${system}}\"/>" wanted)
  string(FIND "${program_bytes}" "${wanted}" at)
  if(at EQUAL -1)
    set(problems "${problems}\n  the manifest lacks supportedOS ${system}")
  endif()
endforeach()

# Every resource in German (LANGUAGE 7, 1), the strings' block and
# translation German too, and a copyright notice.
execute_process(COMMAND "${WINDRES}" -i "${PROGRAM}" -O rc OUTPUT_VARIABLE resources RESULT_VARIABLE status)
string(REGEX MATCHALL "LANGUAGE [0-9]+, [0-9]+" languages "${resources}")
list(REMOVE_DUPLICATES languages)
if(NOT status EQUAL 0 OR NOT languages STREQUAL "LANGUAGE 7, 1")
  set(problems "${problems}\n  resources not all German (LANGUAGE 7, 1): ${languages}")
endif()
if(NOT resources MATCHES "BLOCK \"040704B0\"" OR NOT resources MATCHES "\"Translation\", 0x407, 1200")
  set(problems "${problems}\n  the version strings are not marked German")
endif()
if(NOT resources MATCHES "\"LegalCopyright\", \"Copyright \\(c\\) [0-9][0-9][0-9][0-9] ")
  set(problems "${problems}\n  LegalCopyright is no copyright notice")
endif()

if(problems)
  message(FATAL_ERROR "${PROGRAM}:${problems}")
endif()
message(STATUS "${PROGRAM}: PE32 console program for i386, imports ${imports}, manifest asInvoker, version ${VERSION}")
