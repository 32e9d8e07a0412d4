# The posix thread model (GoogleTest needs std::mutex); -static below keeps
# winpthread, like libgcc and libstdc++, inside each module.
set(CMAKE_C_COMPILER ${QUILLET_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUILLET_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QUILLET_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${QUILLET_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# The C and C++ runtimes go into each module, so neither the DLL nor the test
# programs need libgcc, libstdc++ or winpthread DLLs beside them.
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
