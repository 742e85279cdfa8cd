# Cross build for 32-bit Windows with MinGW-w64, as the x64 build: the same
# sources, for the x86 systems (XP SP3, Server 2003 SP2 and the 32-bit
# installations of every later Windows).
set(CMAKE_SYSTEM_PROCESSOR x86)
set(TOOLCHAIN_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
