# The pkg-config file of each library: vexo-j2534, and vexo-j2534-fixed32 whose Cflags select the
# fixed layout. No Requires: the library is shared and brings its libusb itself. Included by the
# install rules at configure time and by the install script at install time.
cmake_policy(SET CMP0007 NEW)  # the entries have empty fields; recorded by the function below

# vexo_write_pc_files(PREFIX DIR): both files into DIR, naming PREFIX. Reads VEXO_PC_TEMPLATE,
# CMAKE_INSTALL_LIBDIR, CMAKE_INSTALL_INCLUDEDIR and PROJECT_VERSION.
function(vexo_write_pc_files prefix dir)
  set(VEXO_PC_PREFIX "${prefix}")
  foreach(entry "vexo-j2534|vexo_j2534_0404||"
                "vexo-j2534-fixed32|vexo_j2534_0404_fixed32| -DVEXO_J2534_FIXED32|, with fixed 32-bit fields")
    string(REPLACE "|" ";" entry "${entry}")
    list(GET entry 0 VEXO_PC_NAME)
    list(GET entry 1 VEXO_PC_LIBRARY)
    list(GET entry 2 VEXO_PC_CFLAGS)
    list(GET entry 3 VEXO_PC_LAYOUT)
    configure_file("${VEXO_PC_TEMPLATE}" "${dir}/${VEXO_PC_NAME}.pc" @ONLY)
  endforeach()
endfunction()
