# Cross-compiling for 64-bit Windows; test programs run through wine64's own
# loader, since the wine wrapper prefers the 32-bit loader wherever that is
# installed.
set(QUENRID_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
