# 32-bit Windows cross-build with MinGW-w64. Test executables run under Wine when it is installed
# (wine32: only on hosts that can execute i386 code).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(VEXO_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

find_program(VEXO_WINE wine)
if(VEXO_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VEXO_WINE})
endif()
