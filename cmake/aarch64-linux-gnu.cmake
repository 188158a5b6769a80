# Cross-building for Debian's arm64 with Debian's aarch64-linux-gnu compiler.
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(triple aarch64-linux-gnu)
set(qemu_name aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
