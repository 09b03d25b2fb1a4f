# Facts written once in the source tree, carried into the code as generated headers. The version
# lives in the project() line; everything else reads it from here.
set(VEXO_GENERATED_INCLUDE_DIR ${PROJECT_BINARY_DIR}/generated)
configure_file(${CMAKE_CURRENT_LIST_DIR}/version.h.in ${VEXO_GENERATED_INCLUDE_DIR}/vexo/version.h @ONLY)

# vexo_version_resource(target description): a VERSIONINFO so Explorer's file properties
# name the product, its version and its licence.
function(vexo_version_resource target description)
  if(NOT WIN32)
    return()
  endif()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "SHARED_LIBRARY")
    set(VEXO_RC_FILE_TYPE VFT_DLL)
  else()
    set(VEXO_RC_FILE_TYPE VFT_APP)
  endif()
  get_target_property(output_name ${target} OUTPUT_NAME)
  if(NOT output_name)
    set(output_name ${target})
  endif()
  set(VEXO_RC_INTERNAL_NAME ${output_name})
  if(type STREQUAL "SHARED_LIBRARY")
    set(VEXO_RC_FILE_NAME ${output_name}.dll)
  else()
    set(VEXO_RC_FILE_NAME ${output_name}.exe)
  endif()
  set(VEXO_RC_DESCRIPTION ${description})
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
  set_property(SOURCE ${rc} APPEND PROPERTY INCLUDE_DIRECTORIES ${VEXO_GENERATED_INCLUDE_DIR})
endfunction()

# The udev rule lives once, in udev/; the install rules ship that file and the client's hint
# quotes its one rule line.
set(VEXO_UDEV_RULE_NAME 60-vexo-openport.rules)
set(VEXO_UDEV_RULE ${PROJECT_SOURCE_DIR}/udev/${VEXO_UDEV_RULE_NAME})
set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${VEXO_UDEV_RULE})
file(STRINGS ${VEXO_UDEV_RULE} VEXO_UDEV_RULE_LINE REGEX "^SUBSYSTEM")
list(LENGTH VEXO_UDEV_RULE_LINE rule_lines)
if(NOT rule_lines EQUAL 1)
  message(FATAL_ERROR "${VEXO_UDEV_RULE} must hold exactly one rule line, not ${rule_lines}")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/udev_rule.h.in ${VEXO_GENERATED_INCLUDE_DIR}/vexo/udev_rule.h @ONLY)

# The trace file's name, shared by the library that writes it and the client that names it.
set(VEXO_TRACE_FILE_NAME j2534-0404.log)
configure_file(${CMAKE_CURRENT_LIST_DIR}/trace_file.h.in ${VEXO_GENERATED_INCLUDE_DIR}/vexo/trace_file.h @ONLY)
