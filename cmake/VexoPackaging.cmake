# cpack: the Debian package and the tarball on Linux, a zip per Windows architecture. Run from the
# Release tree: 'cpack -G DEB', 'cpack -G TGZ', 'cpack -G ZIP'. Nothing here needs MinGW on Linux.
set(CPACK_PACKAGE_NAME vexo-j2534)
set(CPACK_PACKAGE_VENDOR "the vexo-j2534 developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "J2534 04.04 pass-thru library and client for the Tactrix Openport 2.0")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CHECKSUM SHA256)
set(CPACK_OUTPUT_FILE_PREFIX ${PROJECT_BINARY_DIR}/packages)
# Same builds, same bytes: the archives take their times from SOURCE_DATE_EPOCH where set.
set(CPACK_THREADS 1)
configure_file(${PROJECT_SOURCE_DIR}/packaging/CPackOptions.cmake.in ${PROJECT_BINARY_DIR}/CPackOptions.cmake @ONLY)
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_BINARY_DIR}/CPackOptions.cmake)

if(WIN32)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(CPACK_SYSTEM_NAME windows-x64)
  else()
    set(CPACK_SYSTEM_NAME windows-win32)
  endif()
  set(CPACK_GENERATOR ZIP)
  # A test build's zips say "test" in their names (cmake/VexoInstall.cmake).
  set(test_suffix "")
  if(VEXO_TEST_PACKAGE)
    set(test_suffix -test)
  endif()
  set(VEXO_WINDOWS_ZIP_NAME ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}${test_suffix}-${CPACK_SYSTEM_NAME})
  set(CPACK_PACKAGE_FILE_NAME ${VEXO_WINDOWS_ZIP_NAME})
else()
  set(CPACK_SYSTEM_NAME linux-${CMAKE_SYSTEM_PROCESSOR})
  set(CPACK_GENERATOR "TGZ;DEB")
  set(VEXO_PACKAGE_MAINTAINER "the vexo-j2534 developers <vexo-j2534@users.noreply.github.com>"
    CACHE STRING "The Debian package's Maintainer field")
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${VEXO_PACKAGE_MAINTAINER})
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_PACKAGE_DESCRIPTION "libvexo_j2534_0404.so exports the fourteen PassThru functions of J2534 04.04
and drives a Tactrix Openport 2.0 USB cable through libusb. The package also
holds its header and pkg-config file, the vexo command-line client, a udev
rule for the cable, a simulated cable (try 'vexo --sim info') and the
python-can interface j2534: can.Bus(interface=\"j2534\") for any J2534 device.")
  # dpkg-shlibdeps names the libusb-1.0-0 and libc/libstdc++ packages from the binaries.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # The python-can interface: python3 byte-compiles it (postinst), python3-can runs it.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS python3)
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS python3-can)
  # No shlibs file: it would also claim libusb-1.0.so.0, the simulated cable's private stand-in.
  # The ldconfig trigger, as for any package with a library in /usr/lib.
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/debian/postinst
    ${PROJECT_SOURCE_DIR}/packaging/debian/prerm ${PROJECT_SOURCE_DIR}/packaging/debian/postrm
    ${PROJECT_SOURCE_DIR}/packaging/debian/triggers)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  # The build's date, or SOURCE_DATE_EPOCH's for reproducible packages.
  string(TIMESTAMP VEXO_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.in ${PROJECT_BINARY_DIR}/changelog @ONLY)
  vexo_gzip_file(${PROJECT_BINARY_DIR}/changelog ${PROJECT_BINARY_DIR}/changelog.gz)
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright
    COMPONENT debian EXCLUDE_FROM_ALL)
  install(FILES ${PROJECT_BINARY_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT debian EXCLUDE_FROM_ALL)
endif()
include(CPack)

# The Windows installer's registry macros come from the library's own discovery_key(); this host
# program writes them (scripts/build-installer.sh runs it).
if(NOT WIN32 AND NOT CMAKE_CROSSCOMPILING)
  add_executable(vexo_discovery_key_nsh ${PROJECT_SOURCE_DIR}/packaging/windows/discovery_key_nsh.cpp)
  target_link_libraries(vexo_discovery_key_nsh PRIVATE vexo_internal)
endif()
