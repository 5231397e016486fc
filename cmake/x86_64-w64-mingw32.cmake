# Cross-build of tacsim.exe for 64-bit Windows with Debian's MinGW-w64 (the
# POSIX thread model, for std::thread) and zlib built for it (tools/setup.sh
# windows). No Google Highway (the scalar path gives the same results), no
# MPI, no unit tests; the program is linked statically, so tacsim.exe runs
# without any DLL beside it. Programs built here run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(ZLIB_LIBRARY /usr/x86_64-w64-mingw32/lib/libz.a CACHE FILEPATH "zlib, linked statically")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(TACSIM_HWY OFF CACHE BOOL "")
set(TACSIM_MPI OFF CACHE BOOL "")
set(TACSIM_TESTS OFF CACHE BOOL "")
set(TACSIM_BENCH OFF CACHE BOOL "")
find_program(TACSIM_WINE wine)
if(TACSIM_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TACSIM_WINE})
endif()
