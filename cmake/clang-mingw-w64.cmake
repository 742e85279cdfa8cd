# Second cross build of the product for 64-bit Windows: Debian's clang for
# the same MinGW-w64 target (x86_64-w64-windows-gnu), on MinGW-w64's headers,
# its libstdc++ (of the win32 thread model, which the g++ build links the
# program with too), its archiver, and lld.
# It builds the product only; warnings are errors, so constructs only g++
# accepts fail here before an MSVC build meets them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${TOOLCHAIN_PREFIX})
set(CMAKE_CXX_COMPILER_TARGET ${TOOLCHAIN_PREFIX})
set(CMAKE_RC_COMPILER ${TOOLCHAIN_PREFIX}-windres)
set(CMAKE_AR /usr/bin/${TOOLCHAIN_PREFIX}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB /usr/bin/${TOOLCHAIN_PREFIX}-ranlib CACHE FILEPATH "")
set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# clang finds MinGW-w64's C headers and import libraries by itself, but not
# Debian's g++ directory ("12-win32" is not a version it recognises): name
# its C++ headers and libraries.
execute_process(COMMAND ${TOOLCHAIN_PREFIX}-g++-win32 -dumpversion
                OUTPUT_VARIABLE TARNWICK_MINGW_GCC_VERSION OUTPUT_STRIP_TRAILING_WHITESPACE)
set(TARNWICK_MINGW_GCC_DIR /usr/lib/gcc/${TOOLCHAIN_PREFIX}/${TARNWICK_MINGW_GCC_VERSION})
if(NOT IS_DIRECTORY ${TARNWICK_MINGW_GCC_DIR}/include/c++)
  message(FATAL_ERROR "No MinGW-w64 libstdc++ at ${TARNWICK_MINGW_GCC_DIR} (g++-mingw-w64-x86-64 missing?)")
endif()
set(CMAKE_CXX_STANDARD_INCLUDE_DIRECTORIES
  ${TARNWICK_MINGW_GCC_DIR}/include/c++
  ${TARNWICK_MINGW_GCC_DIR}/include/c++/${TOOLCHAIN_PREFIX}
  ${TARNWICK_MINGW_GCC_DIR}/include/c++/backward)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-L${TARNWICK_MINGW_GCC_DIR}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-L${TARNWICK_MINGW_GCC_DIR}")

# GNU ld warns about every type-name string of libstdc++ that clang lays out
# differently; lld links MinGW-w64 objects the same way without that noise.
string(APPEND CMAKE_EXE_LINKER_FLAGS_INIT " -fuse-ld=lld")
string(APPEND CMAKE_SHARED_LINKER_FLAGS_INIT " -fuse-ld=lld")

# Beyond the project's -Wall -Wextra -Werror: language extensions (-Wpedantic),
# the narrowing and sign changes MSVC's /W4 reports (C4244, C4267, C4245),
# shadowed names, fall-through, and functions defined without a declaration.
set(TARNWICK_CLANG_WARNINGS "-Wpedantic -Wconversion -Wsign-conversion -Wshadow-all -Wimplicit-fallthrough -Wnon-virtual-dtor -Wformat=2 -Wundef -Wmissing-prototypes -Wunreachable-code -Wextra-semi")
set(CMAKE_C_FLAGS_INIT "${TARNWICK_CLANG_WARNINGS}")
set(CMAKE_CXX_FLAGS_INIT "${TARNWICK_CLANG_WARNINGS}")
