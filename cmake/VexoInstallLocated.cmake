# Run by cmake --install for the component "located", where CMAKE_INSTALL_PREFIX is where the files
# will live (cmake --install --prefix, the .deb's /usr): the pkg-config files naming that prefix,
# which pkg-config then drops from the flags where it is the system's, and the system copy of the
# ~/.passthru file naming the installed fixed32 library.
# Given by VexoInstall.cmake: VEXO_PC_TEMPLATE, VEXO_PC_ENTRIES, CMAKE_INSTALL_LIBDIR,
# CMAKE_INSTALL_INCLUDEDIR, PROJECT_VERSION, VEXO_PASSTHRU_JSON_WRITER, VEXO_FIXED32_FILE and
# VEXO_PASSTHRU_JSON (the file, relative to the prefix).
cmake_policy(SET CMP0007 NEW)  # the entries have empty fields
set(root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
set(VEXO_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
foreach(entry ${VEXO_PC_ENTRIES})
  string(REPLACE "|" ";" entry "${entry}")
  list(GET entry 0 VEXO_PC_NAME)
  list(GET entry 1 VEXO_PC_LIBRARY)
  list(GET entry 2 VEXO_PC_CFLAGS)
  list(GET entry 3 VEXO_PC_LAYOUT)
  set(pc "${root}/${CMAKE_INSTALL_LIBDIR}/pkgconfig/${VEXO_PC_NAME}.pc")
  message(STATUS "Installing: ${pc}")
  configure_file("${VEXO_PC_TEMPLATE}" "${pc}" @ONLY)
endforeach()

set(json "${root}/${VEXO_PASSTHRU_JSON}")
message(STATUS "Installing: ${json}")
get_filename_component(json_dir "${json}" DIRECTORY)
file(MAKE_DIRECTORY "${json_dir}")
execute_process(COMMAND "${VEXO_PASSTHRU_JSON_WRITER}" "${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/${VEXO_FIXED32_FILE}"
                OUTPUT_FILE "${json}" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${VEXO_PASSTHRU_JSON_WRITER} failed (${rc})")
endif()
