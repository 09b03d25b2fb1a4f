# Our own targets, wherever defined below DIR: the build system targets of its directories that lie
# in this source tree. googletest, which the cross builds build from /usr/src, is not among them.
function(vexo_own_targets dir out_var)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub ${subdirs})
    cmake_path(IS_PREFIX PROJECT_SOURCE_DIR "${sub}" ours)
    if(ours)
      vexo_own_targets(${sub} sub_targets)
      list(APPEND targets ${sub_targets})
    endif()
  endforeach()
  set(${out_var} ${targets} PARENT_SCOPE)
endfunction()

# vexo_warnings(TARGET...): the warnings of each target that compiles, as errors. Called once, over
# vexo_own_targets(), at the end of the top CMakeLists.txt; `cmake --compile-no-warning-as-error`
# turns the errors back into warnings.
function(vexo_warnings)
  foreach(target ${ARGN})
    get_target_property(type ${target} TYPE)
    if(NOT type MATCHES "^(EXECUTABLE|SHARED_LIBRARY|MODULE_LIBRARY|STATIC_LIBRARY|OBJECT_LIBRARY)$")
      continue()
    endif()
    target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:C,CXX>:-Wall;-Wextra;-Wshadow;-Wconversion>)
    # GCC 12's optimiser reports false positives of these kinds inside libstdc++ (std::string
    # concatenation, std::expected copies, vector growth). In optimised builds they stay visible
    # as warnings but do not fail the build; Debug builds keep them fatal.
    target_compile_options(${target} PRIVATE
      $<$<AND:$<COMPILE_LANGUAGE:C,CXX>,$<CXX_COMPILER_ID:GNU>,$<VERSION_LESS:$<CXX_COMPILER_VERSION>,13>,$<NOT:$<CONFIG:Debug>>>:-Wno-error=restrict;-Wno-error=maybe-uninitialized;-Wno-error=array-bounds;-Wno-error=stringop-overflow>)
    set_target_properties(${target} PROPERTIES COMPILE_WARNING_AS_ERROR ON)
  endforeach()
endfunction()
