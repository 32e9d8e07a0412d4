# Cross-compiles for 32-bit x86 Linux with Debian's g++-i686-linux-gnu; the
# tests run natively where the kernel executes 32-bit x86 code, under
# qemu-i386 elsewhere.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(QUILLET_CROSS_TRIPLE i686-linux-gnu)
set(QUILLET_CROSS_QEMU i386)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross-common.cmake)
