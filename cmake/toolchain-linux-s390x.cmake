# Cross-compiles for Linux on IBM Z (s390x, big-endian) with Debian's
# g++-s390x-linux-gnu; the tests run under qemu-s390x.
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(QUILLET_CROSS_TRIPLE s390x-linux-gnu)
set(QUILLET_CROSS_QEMU s390x)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross-common.cmake)
