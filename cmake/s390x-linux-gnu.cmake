# Cross-building for Debian's s390x with Debian's s390x-linux-gnu compiler.
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(triple s390x-linux-gnu)
set(qemu_name s390x)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
