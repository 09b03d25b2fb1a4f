# Installs BUILD_DIR with DESTDIR=WORK/stage and --prefix /usr/local, then checks the tree.
set(stage ${WORK}/stage)
set(prefix ${stage}/usr/local)
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
set(failures "")

set(ENV{DESTDIR} ${stage})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix /usr/local
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
unset(ENV{DESTDIR})
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${out}")
endif()

file(GLOB_RECURSE have LIST_DIRECTORIES false RELATIVE ${stage} ${stage}/*)
list(SORT have)
set(want
  usr/local/bin/vexo
  usr/local/include/vexo/j2534.h
  usr/local/lib/libvexo_j2534_0404.so
  usr/local/lib/libvexo_j2534_0404_fixed32.so
  usr/local/lib/pkgconfig/vexo-j2534-fixed32.pc
  usr/local/lib/pkgconfig/vexo-j2534.pc
  usr/local/lib/vexo-j2534/libusb-1.0.so.0
  usr/local/share/doc/vexo-j2534/LICENSE
  usr/local/share/man/man1/vexo.1.gz
  usr/local/share/vexo-j2534/passthru/vexo-j2534.json
  usr/local/share/vexo-j2534/udev/60-vexo-openport.rules
  usr/local/share/vexo-j2534/udev/README)
# The python-can interface where the build could write its metadata (a warning at configure says
# when it could not).
if(PYTHON_DIST_INFO)
  get_filename_component(dist_info ${PYTHON_DIST_INFO} NAME)
  foreach(module ${PYTHON_MODULES})
    get_filename_component(module ${module} NAME)
    list(APPEND want usr/local/lib/python3/dist-packages/can_j2534/${module})
  endforeach()
  foreach(file METADATA entry_points.txt top_level.txt)
    list(APPEND want usr/local/lib/python3/dist-packages/${dist_info}/${file})
  endforeach()
  list(SORT want)
endif()
if(NOT have STREQUAL want)
  string(APPEND failures "installed tree:\n  ${have}\nwanted:\n  ${want}\n")
endif()

foreach(pair "include/vexo/j2534.h|usr/local/include/vexo/j2534.h"
             "udev/60-vexo-openport.rules|usr/local/share/vexo-j2534/udev/60-vexo-openport.rules"
             "LICENSE|usr/local/share/doc/vexo-j2534/LICENSE")
  string(REPLACE "|" ";" pair "${pair}")
  list(GET pair 0 source)
  list(GET pair 1 installed)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${SOURCE_DIR}/${source} ${stage}/${installed}
                  RESULT_VARIABLE differs)
  if(differs)
    string(APPEND failures "${installed} is not the source tree's ${source}\n")
  endif()
endforeach()

# An installed vexo finds the installed library and the simulated cable on its own.
execute_process(COMMAND ${prefix}/bin/vexo --sim info RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
# vexo names the library through its own resolved path (/proc/self/exe).
file(REAL_PATH ${prefix}/lib/libvexo_j2534_0404.so installed_library)
set(want_info "library:  ${installed_library}\nfirmware: Openport 2.0 sim 1.17.4877\ndll:      ${VERSION}\napi:      04.04\nbattery:  12.60 V\n")
if(NOT rc EQUAL 0 OR NOT out STREQUAL want_info OR NOT err STREQUAL "")
  string(APPEND failures "installed 'vexo --sim info' (exit ${rc}):\n${out}${err}wanted:\n${want_info}")
endif()
execute_process(COMMAND ${prefix}/bin/vexo --version OUTPUT_VARIABLE out)
# The installed client finds the installed library beside it, in ../lib/.
if(NOT out MATCHES "^vexo ${VERSION}\nlibrary:  ${prefix}/lib/libvexo_j2534_0404.so\n")
  string(APPEND failures "installed 'vexo --version' printed '${out}'\n")
endif()
execute_process(COMMAND man -l -P cat ${prefix}/share/man/man1/vexo.1.gz RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err)
if(DEFINED rc AND rc EQUAL 0 AND NOT err STREQUAL "")
  string(APPEND failures "man page warnings: ${err}\n")
endif()
# It is written from the declarations --help reads: every vehicle, every option.
execute_process(COMMAND gzip -dc ${prefix}/share/man/man1/vexo.1.gz OUTPUT_VARIABLE page)
foreach(want "demo\\-250k\\-29bit (at 250 kbit/s on 29\\-bit IDs)" "then the pending (07) and permanent (0A)" ".B \\-\\-append")
  string(FIND "${page}" "${want}" at)
  if(at EQUAL -1)
    string(APPEND failures "the man page lacks '${want}'\n")
  endif()
endforeach()

# The ~/.passthru-style file names the installed fixed32 library.
file(STRINGS ${prefix}/share/vexo-j2534/passthru/vexo-j2534.json function_lib REGEX "FUNCTION_LIB")
if(NOT function_lib STREQUAL "  \"FUNCTION_LIB\": \"/usr/local/lib/libvexo_j2534_0404_fixed32.so\",")
  string(APPEND failures "vexo-j2534.json: ${function_lib}\n")
endif()

# pkg-config sees the staged tree alone, as the installed one (the sysroot maps /usr/local into the
# stage): no other .pc file, the machine's libusb-1.0's among them, can help. A C program builds
# with each file's flags and runs against its library.
set(ENV{PKG_CONFIG_LIBDIR} ${prefix}/lib/pkgconfig)
set(ENV{PKG_CONFIG_SYSROOT_DIR} ${stage})
cmake_policy(SET CMP0007 NEW)  # an empty field below
foreach(entry "vexo-j2534|vexo_j2534_0404|" "vexo-j2534-fixed32|vexo_j2534_0404_fixed32| -DVEXO_J2534_FIXED32")
  string(REPLACE "|" ";" entry "${entry}")
  list(GET entry 0 name)
  list(GET entry 1 library)
  list(GET entry 2 cflags)
  execute_process(COMMAND ${PKG_CONFIG} --modversion ${name} OUTPUT_VARIABLE modversion OUTPUT_STRIP_TRAILING_WHITESPACE)
  execute_process(COMMAND ${PKG_CONFIG} --cflags --libs ${name} OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE rc)
  set(want "-I${prefix}/include${cflags} -L${prefix}/lib -l${library}")
  if(NOT rc EQUAL 0 OR NOT modversion STREQUAL VERSION OR NOT flags STREQUAL want)
    string(APPEND failures "pkg-config ${name}: '${modversion}', '${flags}' (exit ${rc}), wanted '${VERSION}', '${want}'\n")
    continue()
  endif()
  separate_arguments(flags UNIX_COMMAND "${flags}")
  execute_process(COMMAND ${CC} -std=c11 -Wall -Wextra -Werror ${CMAKE_CURRENT_LIST_DIR}/use_installed.c ${flags}
                          ${prefix}/lib/vexo-j2534/libusb-1.0.so.0 -o ${WORK}/use_${name}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    string(APPEND failures "a C program does not build with ${name}'s flags ${flags}:\n${out}\n")
    continue()
  endif()
  set(ENV{LD_LIBRARY_PATH} ${prefix}/lib/vexo-j2534:${prefix}/lib)
  execute_process(COMMAND ${WORK}/use_${name} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0 OR NOT out STREQUAL "dll ${VERSION} api 04.04\n")
    string(APPEND failures "the program built with ${name} (exit ${rc}): ${out}${err}\n")
  endif()
endforeach()

if(NOT failures STREQUAL "")
  message(FATAL_ERROR "${failures}")
endif()
file(REMOVE_RECURSE ${WORK})
