# 32-bit Windows cross build with MinGW-w64 (POSIX threads), static runtimes.
# VONDREL_MINGW_TRIPLET=x86_64-w64-mingw32 makes the 64-bit build of the same
# code, which the tests run where only 64-bit Wine can execute.
set(CMAKE_SYSTEM_NAME Windows)
if(NOT VONDREL_MINGW_TRIPLET)
  set(VONDREL_MINGW_TRIPLET i686-w64-mingw32)
endif()
string(REGEX REPLACE "-.*" "" CMAKE_SYSTEM_PROCESSOR ${VONDREL_MINGW_TRIPLET})

set(CMAKE_C_COMPILER ${VONDREL_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VONDREL_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${VONDREL_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VONDREL_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# libgcc, libstdc++ and winpthread linked in: the exe runs without MinGW DLLs
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
