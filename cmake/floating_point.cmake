# Every result must be one correctly rounded binary64 operation. Where the
# compiler would compute doubles on the x87 unit (32-bit x86: wider
# intermediates, so results are rounded twice), the build asks for SSE2;
# where that is not possible either, it stops rather than build a program
# that writes wrong results.
include(CheckCXXSourceCompiles)
set(doubles_rounded_once_probe [=[
#include <cfloat>
#if FLT_EVAL_METHOD != 0 && FLT_EVAL_METHOD != 1
#error "doubles are computed in a wider format"
#endif
int main() { return 0; }
]=])
check_cxx_source_compiles("${doubles_rounded_once_probe}" TASCHENRECHNER_DOUBLES_ROUNDED_ONCE)
if(NOT TASCHENRECHNER_DOUBLES_ROUNDED_ONCE)
  set(CMAKE_REQUIRED_FLAGS "-msse2 -mfpmath=sse")
  check_cxx_source_compiles("${doubles_rounded_once_probe}" TASCHENRECHNER_DOUBLES_ROUNDED_ONCE_WITH_SSE2)
  unset(CMAKE_REQUIRED_FLAGS)
  if(NOT TASCHENRECHNER_DOUBLES_ROUNDED_ONCE_WITH_SSE2)
    message(FATAL_ERROR "This compiler computes doubles in a wider format (FLT_EVAL_METHOD is neither 0 nor 1) "
                        "and cannot be told to use SSE2: results would be rounded twice.")
  endif()
  add_compile_options(-msse2 -mfpmath=sse)
endif()
