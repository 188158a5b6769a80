# Cross-building for another Debian architecture with Debian's cross
# compiler for `triple` (set by the file that includes this one). Programs
# built here, the tests among them, run under qemu's user emulation, with
# the target's own Debian libraries from `build/target-root/<triple>`
# (.ci/target-root makes it): its C library with the character set modules
# and the UTF-8 locale, its C++ runtime and libedit.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_CXX_COMPILER ${triple}-g++)
set(TASCHENRECHNER_TARGET_ROOT ${CMAKE_CURRENT_LIST_DIR}/../build/target-root/${triple})
cmake_path(NORMAL_PATH TASCHENRECHNER_TARGET_ROOT)
# The compiler's own libraries first, then the target's packages (histedit.h).
set(CMAKE_FIND_ROOT_PATH /usr/${triple} ${TASCHENRECHNER_TARGET_ROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# qemu-user-static, or qemu-user where that is installed instead.
find_program(TASCHENRECHNER_QEMU NAMES qemu-${qemu_name}-static qemu-${qemu_name} REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${TASCHENRECHNER_QEMU} -L ${TASCHENRECHNER_TARGET_ROOT})
