# Cross build for 64-bit Windows with Debian's mingw-w64 (posix thread variant, so that
# std::thread and std::mutex work). Select it with
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake ...
# The executables link libstdc++, libgcc and winpthread statically, so a .exe runs on
# its own; tests run under wine64 (CMAKE_CROSSCOMPILING_EMULATOR).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(RVEX_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${RVEX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${RVEX_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${RVEX_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${RVEX_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

find_program(RVEX_WINE NAMES wine64 wine PATHS /usr/lib/wine)
if(RVEX_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${RVEX_WINE})
endif()
