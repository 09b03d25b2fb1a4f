# Run by cmake --install for the component "located", where CMAKE_INSTALL_PREFIX is where the files
# will live (cmake --install --prefix, the .deb's /usr): the pkg-config files naming that prefix,
# which pkg-config then drops from the flags where it is the system's, and the system copy of the
# ~/.passthru file naming the installed fixed32 library.
# Given by VexoInstall.cmake: what VexoPkgConfig.cmake reads, VEXO_PASSTHRU_JSON_WRITER,
# VEXO_FIXED32_FILE and VEXO_PASSTHRU_JSON (the file, relative to the prefix).
include("${CMAKE_CURRENT_LIST_DIR}/VexoPkgConfig.cmake")
set(root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
message(STATUS "Installing: ${root}/${CMAKE_INSTALL_LIBDIR}/pkgconfig/vexo-j2534*.pc")
vexo_write_pc_files("${CMAKE_INSTALL_PREFIX}" "${root}/${CMAKE_INSTALL_LIBDIR}/pkgconfig")

set(json "${root}/${VEXO_PASSTHRU_JSON}")
message(STATUS "Installing: ${json}")
get_filename_component(json_dir "${json}" DIRECTORY)
file(MAKE_DIRECTORY "${json_dir}")
execute_process(COMMAND "${VEXO_PASSTHRU_JSON_WRITER}" "${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/${VEXO_FIXED32_FILE}"
                OUTPUT_FILE "${json}" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${VEXO_PASSTHRU_JSON_WRITER} failed (${rc})")
endif()
