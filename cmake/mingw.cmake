# What both MinGW-w64 toolchains share: the posix thread model (GoogleTest
# needs it), windres, and a find root of the target's own. The including file
# sets QUENRID_MINGW_TRIPLE, CMAKE_SYSTEM_PROCESSOR and the emulator that runs
# the test programs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${QUENRID_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUENRID_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QUENRID_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${QUENRID_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
