# 64-bit Windows cross-build with MinGW-w64 (posix thread model, as for 32-bit). Test executables
# run under 64-bit Wine, started directly: Debian's `wine` wrapper would pick wine32 where it is
# installed, even on hosts that cannot execute it.
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

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")

find_program(VEXO_WINE64 wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(VEXO_WINE64)
  # Wine starts its helper processes through WINELOADER; left unset it would reach for the wrapper.
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_COMMAND} -E env WINELOADER=${VEXO_WINE64} ${VEXO_WINE64})
endif()
