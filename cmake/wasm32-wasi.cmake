# The web page's WebAssembly: the tool set's library, the pattern rules and
# the page's module, cross-built for wasm32-wasi with Debian's clang-19,
# lld-19, wasi-libc and wasm32 libc++. The page's build configures it by
# itself (web/CMakeLists.txt); by hand:
#   cmake -S . -B build-wasm -DCMAKE_TOOLCHAIN_FILE=cmake/wasm32-wasi.cmake \
#     -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE=-O3
# (-O3 alone: the JSON reader keeps its assertions, which stop the module
# where a fault would let it run on.)
# No operating system: the module only computes, and the page hands it
# its text and reads its results.
set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_SYSTEM_PROCESSOR wasm32)
if(NOT CMAKE_CXX_COMPILER)
  set(CMAKE_CXX_COMPILER clang++-19)
endif()
set(CMAKE_CXX_COMPILER_TARGET wasm32-wasi)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
# The build machine's header-only JSON reader, the programs' own.
list(APPEND CMAKE_INCLUDE_PATH /usr/include)
