function(vexo_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Wconversion -Werror)
  # GCC 12's optimiser reports false positives of these kinds inside libstdc++ (std::string
  # concatenation, std::expected copies, vector growth). In optimised builds they stay visible
  # as warnings but do not fail the build; Debug builds keep them fatal.
  target_compile_options(${target} PRIVATE
    $<$<AND:$<CXX_COMPILER_ID:GNU>,$<VERSION_LESS:$<CXX_COMPILER_VERSION>,13>,$<NOT:$<CONFIG:Debug>>>:-Wno-error=restrict;-Wno-error=maybe-uninitialized;-Wno-error=array-bounds;-Wno-error=stringop-overflow>)
endfunction()
