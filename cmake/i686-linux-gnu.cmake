# Cross-building for Debian's i386 with Debian's i686-linux-gnu compiler.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(triple i686-linux-gnu)
set(qemu_name i386)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
