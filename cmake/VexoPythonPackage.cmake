# The python-can interface (python/). Linux: where Debian's python3 finds it, with the dist-info
# that setuptools writes from python/pyproject.toml (importlib.metadata finds the entry point
# there); the tarball carries the same tree. Windows: the package folder, for pip.
file(GLOB VEXO_PYTHON_MODULES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/python/can_j2534/*.py)
if(WIN32)
  install(FILES ${PROJECT_SOURCE_DIR}/python/pyproject.toml DESTINATION python)
  install(FILES ${VEXO_PYTHON_MODULES} DESTINATION python/can_j2534)
  return()
endif()

set(VEXO_SYSTEM_PYTHON3 /usr/bin/python3 CACHE FILEPATH
  "Debian's python3: it has python3-setuptools and python3-wheel for the package, python3-can and pytest for its tests")
set(VEXO_PYTHON_METADATA ${PROJECT_BINARY_DIR}/python-metadata)
file(REMOVE_RECURSE ${VEXO_PYTHON_METADATA})
# From a copy: setuptools writes beside the sources it reads.
file(COPY ${PROJECT_SOURCE_DIR}/python/pyproject.toml DESTINATION ${VEXO_PYTHON_METADATA}/source)
file(COPY ${VEXO_PYTHON_MODULES} DESTINATION ${VEXO_PYTHON_METADATA}/source/can_j2534)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/python/pyproject.toml)
execute_process(
  COMMAND ${VEXO_SYSTEM_PYTHON3} -c "import sys; from setuptools import build_meta; build_meta.prepare_metadata_for_build_wheel(sys.argv[1])"
          ${VEXO_PYTHON_METADATA}
  WORKING_DIRECTORY ${VEXO_PYTHON_METADATA}/source RESULT_VARIABLE made OUTPUT_QUIET ERROR_VARIABLE why)
file(GLOB VEXO_PYTHON_DIST_INFO ${VEXO_PYTHON_METADATA}/*.dist-info)
if(NOT made EQUAL 0 OR NOT VEXO_PYTHON_DIST_INFO)
  message(WARNING "no python-can interface in the install: ${VEXO_SYSTEM_PYTHON3} could not write its metadata "
    "(python3-setuptools and python3-wheel needed): ${why}")
  return()
endif()
# Debian's python3 path, not the library directory: that one is multiarch under /usr.
install(FILES ${VEXO_PYTHON_MODULES} DESTINATION lib/python3/dist-packages/can_j2534)
install(DIRECTORY ${VEXO_PYTHON_DIST_INFO} DESTINATION lib/python3/dist-packages)
