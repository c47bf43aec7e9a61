# The MinGW-w64 cross-build for Windows; QUELLMARK_MINGW_ARCH is set by the
# toolchain file that includes this one.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${QUELLMARK_MINGW_ARCH})
set(CMAKE_C_COMPILER ${QUELLMARK_MINGW_ARCH}-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUELLMARK_MINGW_ARCH}-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER ${QUELLMARK_MINGW_ARCH}-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${QUELLMARK_MINGW_ARCH}-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Only the assembler programs are built for Windows; the tests run natively
# and drive the .exe files under Wine.
set(QUELLMARK_PATTERN_EDITOR OFF CACHE BOOL "")
set(BUILD_TESTING OFF CACHE BOOL "")
