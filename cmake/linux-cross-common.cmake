# What the Linux cross builds share (linux-aarch64, linux-s390x, linux-i686):
# Debian's cross compilers and their sysroots, and the test programs run
# through cmake/cross-run (qemu-user, or natively where the kernel can).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${QUILLET_CROSS_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${QUILLET_CROSS_TRIPLE}-g++)
set(CMAKE_FIND_ROOT_PATH /usr/${QUILLET_CROSS_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# The host has no C++ runtime for the target: programs carry their own. The
# library itself is linked as C and needs the C library alone.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static-libstdc++ -static-libgcc")
set(CMAKE_CROSSCOMPILING_EMULATOR
  ${CMAKE_CURRENT_LIST_DIR}/cross-run ${QUILLET_CROSS_QEMU} ${QUILLET_CROSS_TRIPLE})
