# Cross-compiles for Linux on ARM64 with Debian's g++-aarch64-linux-gnu; the
# tests run under qemu-aarch64 with every CPU feature it has (-cpu max).
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(QUILLET_CROSS_TRIPLE aarch64-linux-gnu)
set(QUILLET_CROSS_QEMU aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross-common.cmake)
