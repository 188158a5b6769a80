# Hardening beyond the flags the build is given (Debian's: stack protector,
# fortify, RELRO, immediate binding): probes on every large stack frame, so
# that a stack cannot grow into another mapping unseen, and on x86 the
# marks for control-flow enforcement. Each is added only where this
# compiler takes it; a target without it builds as before.
#
# The linker marks a program as ready for control-flow enforcement only if
# every object in it is marked. Our code and the C++ runtime are; Debian
# 12's C library start files (crt1.o, crti.o, crtn.o) are not, though
# their few instructions are plain calls and returns. So the link states
# the mark itself, as it does where those files carry it.
option(TASCHENRECHNER_HARDENING "Build with stack-clash protection and, on x86, control-flow protection" OFF)
if(TASCHENRECHNER_HARDENING)
  include(CheckCXXCompilerFlag)
  foreach(flag -fstack-clash-protection -fcf-protection)
    string(MAKE_C_IDENTIFIER "TASCHENRECHNER_TAKES${flag}" takes_flag)
    check_cxx_compiler_flag(${flag} ${takes_flag})
    if(${takes_flag})
      add_compile_options(${flag})
    endif()
  endforeach()
  if(TASCHENRECHNER_TAKES_fcf_protection)
    include(CheckLinkerFlag)
    check_linker_flag(CXX "LINKER:-z,ibt,-z,shstk" TASCHENRECHNER_LINKER_MARKS_CET)
    if(TASCHENRECHNER_LINKER_MARKS_CET)
      add_link_options("LINKER:-z,ibt,-z,shstk")
    endif()
  endif()
endif()
