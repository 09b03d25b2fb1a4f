# cmake --install: the library, its header and pkg-config file, vexo with its man page, the udev
# rule and the simulated cable, so 'vexo --sim info' works from an installed copy too.
# Plain lib/ even under /usr on Debian: vexo looks for the library in ../lib/ beside bin/.
set(CMAKE_INSTALL_LIBDIR lib CACHE PATH "Object code libraries (lib)")
set(CMAKE_INSTALL_DOCDIR share/doc/vexo-j2534 CACHE PATH "Documentation (share/doc/vexo-j2534)")
include(GNUInstallDirs)

option(VEXO_INSTALL_SIM "Install the simulated cable for 'vexo --sim'" ON)

if(WIN32)
  # One folder per architecture, as applications and regsvr32 expect: the DLL, its libusb-1.0.dll
  # (added by the packaging, see scripts/package.sh) and vexo.exe side by side.
  install(TARGETS vexo_j2534_0404 RUNTIME DESTINATION .)
  install(TARGETS vexo RUNTIME DESTINATION .)
  if(VEXO_INSTALL_SIM)
    install(TARGETS vexo_sim_usb RUNTIME DESTINATION simusb)
  endif()
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
  return()
endif()

install(TARGETS vexo_j2534_0404 LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/vexo/j2534.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/vexo)
install(TARGETS vexo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(VEXO_INSTALL_SIM)
  # A private directory: a libusb-1.0.so.0 in the linker's path would stand in for the real one.
  install(TARGETS vexo_sim_usb LIBRARY DESTINATION lib/vexo-j2534 NAMELINK_SKIP)
endif()

file(RELATIVE_PATH VEXO_PC_TO_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" VEXO_PC_TO_PREFIX "${VEXO_PC_TO_PREFIX}")
configure_file(${PROJECT_SOURCE_DIR}/packaging/vexo-j2534.pc.in ${PROJECT_BINARY_DIR}/vexo-j2534.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/vexo-j2534.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

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
configure_file(${PROJECT_SOURCE_DIR}/packaging/vexo.1.in ${PROJECT_BINARY_DIR}/vexo.1 @ONLY)
vexo_gzip_file(${PROJECT_BINARY_DIR}/vexo.1 ${PROJECT_BINARY_DIR}/vexo.1.gz)
install(FILES ${PROJECT_BINARY_DIR}/vexo.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})
