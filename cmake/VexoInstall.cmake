# cmake --install: both libraries, their header and pkg-config files, the ~/.passthru-style file
# naming the fixed32 library, vexo with its man page, the udev rule and the simulated cable, so
# 'vexo --sim info' works from an installed copy too.
# Plain lib/ even under /usr on Debian: vexo looks for the library in ../lib/ beside bin/.
set(CMAKE_INSTALL_LIBDIR lib CACHE PATH "Object code libraries (lib)")
set(CMAKE_INSTALL_DOCDIR share/doc/vexo-j2534 CACHE PATH "Documentation (share/doc/vexo-j2534)")
include(GNUInstallDirs)

# Not on Windows: the DLL binds the libusb-1.0.dll in its own folder first, so a stand-in in
# simusb\ would never reach it. A Windows test build ships the stand-in as that libusb-1.0.dll
# (VEXO_LIBUSB_DLL), which 'vexo.exe --sim' finds beside itself.
if(WIN32)
  option(VEXO_INSTALL_SIM "Install the simulated cable for 'vexo --sim'" OFF)
else()
  option(VEXO_INSTALL_SIM "Install the simulated cable for 'vexo --sim'" ON)
endif()

if(WIN32)
  # One folder per architecture, as applications and regsvr32 expect: the DLL, its libusb-1.0.dll
  # (added by the packaging, see scripts/package.sh) and vexo.exe side by side.
  install(TARGETS vexo_j2534_0404 RUNTIME DESTINATION .)
  install(TARGETS vexo RUNTIME DESTINATION .)
  if(VEXO_INSTALL_SIM)
    install(TARGETS vexo_sim_usb RUNTIME DESTINATION simusb)
  endif()
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
  # libusb-1.0.dll is built from Debian's source by scripts/package.sh, which names it here.
  set(VEXO_LIBUSB_DLL "" CACHE FILEPATH "libusb-1.0.dll to ship beside the DLL (scripts/package.sh builds it)")
  set(VEXO_LIBUSB_LICENSE "" CACHE FILEPATH "libusb's licence text (COPYING of its source)")
  set(VEXO_LIBUSB_VERSION "" CACHE STRING "The version of the libusb source VEXO_LIBUSB_DLL was built from")
  # A test build (scripts/test-all.sh) ships the simulated cable as its libusb-1.0.dll: its packages
  # say so in their names and texts, so that none is taken for a release, whose cable is real.
  option(VEXO_TEST_PACKAGE "The Windows packages are a test build's: VEXO_LIBUSB_DLL is the simulated cable" OFF)
  set(VEXO_TEST_NOTE "")
  if(VEXO_TEST_PACKAGE)
    set(VEXO_TEST_NOTE "\nTEST BUILD: its libusb-1.0.dll is the simulated cable, not libusb; it reaches no real cable.")
  endif()
  if(VEXO_LIBUSB_DLL)
    install(FILES ${VEXO_LIBUSB_DLL} DESTINATION .)
    install(FILES ${VEXO_LIBUSB_LICENSE} DESTINATION . RENAME LICENSE-libusb.txt)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
      set(VEXO_WINDOWS_ARCH "x64")
      set(VEXO_WINDOWS_APPS "64-bit")
      set(VEXO_WINDOWS_HOST x86_64-w64-mingw32)
      set(VEXO_WINDOWS_FOLDER "C:\\Program Files\\vexo-j2534\\x64")
    else()
      set(VEXO_WINDOWS_ARCH "win32")
      set(VEXO_WINDOWS_APPS "32-bit")
      set(VEXO_WINDOWS_HOST i686-w64-mingw32)
      set(VEXO_WINDOWS_FOLDER "C:\\Program Files\\vexo-j2534\\win32")
    endif()
    configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/INSTALL.txt.in ${PROJECT_BINARY_DIR}/INSTALL.txt @ONLY
      NEWLINE_STYLE CRLF)
    install(FILES ${PROJECT_BINARY_DIR}/INSTALL.txt DESTINATION .)
  endif()
  return()
endif()

install(TARGETS vexo_j2534_0404 vexo_j2534_0404_fixed32 LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/vexo/j2534.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/vexo)
install(TARGETS vexo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(VEXO_INSTALL_SIM)
  # A private directory: a libusb-1.0.so.0 in the linker's path would stand in for the real one.
  install(TARGETS vexo_sim_usb LIBRARY DESTINATION lib/vexo-j2534 NAMELINK_SKIP)
endif()

# The pkg-config files (cmake/VexoPkgConfig.cmake). An install where the files will live (component
# "located": cmake --install, the .deb) writes them at install time, naming its prefix, together
# with share/vexo-j2534/passthru/vexo-j2534.json, the file 'vexo register' writes, naming the
# installed fixed32 library. The archives, unpacked anywhere, take the pkg-config files that find
# the prefix from their own folder (component "relocatable") and no JSON file: only
# 'vexo register' can know where they were unpacked.
set(VEXO_PC_TEMPLATE ${PROJECT_SOURCE_DIR}/packaging/vexo-j2534.pc.in)
install(CODE "
  set(VEXO_PC_TEMPLATE \"${VEXO_PC_TEMPLATE}\")
  set(CMAKE_INSTALL_LIBDIR \"${CMAKE_INSTALL_LIBDIR}\")
  set(CMAKE_INSTALL_INCLUDEDIR \"${CMAKE_INSTALL_INCLUDEDIR}\")
  set(PROJECT_VERSION \"${PROJECT_VERSION}\")
  set(VEXO_PASSTHRU_JSON_WRITER \"$<TARGET_FILE:vexo_passthru_json>\")
  set(VEXO_FIXED32_FILE \"$<TARGET_FILE_NAME:vexo_j2534_0404_fixed32>\")
  set(VEXO_PASSTHRU_JSON \"${CMAKE_INSTALL_DATADIR}/vexo-j2534/passthru/vexo-j2534.json\")
  include(\"${PROJECT_SOURCE_DIR}/cmake/VexoInstallLocated.cmake\")" COMPONENT located)
include(${PROJECT_SOURCE_DIR}/cmake/VexoPkgConfig.cmake)
file(RELATIVE_PATH to_prefix /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" to_prefix "${to_prefix}")
vexo_write_pc_files("\${pcfiledir}/${to_prefix}" ${PROJECT_BINARY_DIR}/relocatable)
install(DIRECTORY ${PROJECT_BINARY_DIR}/relocatable/ DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
  COMPONENT relocatable EXCLUDE_FROM_ALL)

# udev reads /lib/udev/rules.d and /etc/udev/rules.d only, so a prefix install parks the rule in
# share/ with a note; the Debian package installs the component udev_system instead.
set(VEXO_MAN_UDEV_DIR /lib/udev/rules.d)
install(FILES ${VEXO_UDEV_RULE} DESTINATION ${CMAKE_INSTALL_DATADIR}/vexo-j2534/udev COMPONENT udev_prefix)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/udev-README.txt DESTINATION ${CMAKE_INSTALL_DATADIR}/vexo-j2534/udev
  RENAME README COMPONENT udev_prefix)
install(FILES ${VEXO_UDEV_RULE} DESTINATION ${VEXO_MAN_UDEV_DIR} COMPONENT udev_system EXCLUDE_FROM_ALL)

# Compressed, as Debian wants man pages and changelogs; man reads them so everywhere. gzip -n keeps
# the bytes free of time stamps.
function(vexo_gzip_file input output)
  execute_process(COMMAND gzip -n -9 -c ${input} OUTPUT_FILE ${output} RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "gzip ${input} failed")
  endif()
endfunction()
# The man page's commands and options come from the declarations that give 'vexo --help'.
configure_file(${PROJECT_SOURCE_DIR}/packaging/vexo.1.in ${PROJECT_BINARY_DIR}/vexo.1.in @ONLY)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/vexo.1.gz
  COMMAND vexo_man ${PROJECT_BINARY_DIR}/vexo.1.in ${PROJECT_BINARY_DIR}/vexo.1
  COMMAND gzip -n -9 -f -k ${PROJECT_BINARY_DIR}/vexo.1
  DEPENDS vexo_man ${PROJECT_BINARY_DIR}/vexo.1.in VERBATIM)
add_custom_target(vexo_man_page ALL DEPENDS ${PROJECT_BINARY_DIR}/vexo.1.gz)
install(FILES ${PROJECT_BINARY_DIR}/vexo.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})
