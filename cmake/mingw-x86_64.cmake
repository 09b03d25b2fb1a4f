# 64-bit Windows cross-build with MinGW-w64. Test executables run under 64-bit Wine, started
# directly: Debian's `wine` wrapper would pick wine32 where it is installed, even on hosts that
# cannot execute it.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VEXO_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

find_program(VEXO_WINE64 wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(VEXO_WINE64)
  # Wine starts its helper processes through WINELOADER; left unset it would reach for the wrapper.
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_COMMAND} -E env WINELOADER=${VEXO_WINE64} ${VEXO_WINE64})
endif()
