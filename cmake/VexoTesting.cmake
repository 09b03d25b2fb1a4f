# What the tests share: their runner helper, the version as they expect to read it, and what a
# missing optional package means.
include(GoogleTest)

option(VEXO_ALL_TESTS "Fail the configuration where a package some tests need is missing, instead of leaving them out (CI)" OFF)
# vexo_tests_left_out(TEXT): TEXT says which package is missing and which tests go without it.
function(vexo_tests_left_out text)
  if(VEXO_ALL_TESTS)
    message(FATAL_ERROR "${text} (VEXO_ALL_TESTS is ON)")
  endif()
  message(WARNING "${text}")
endfunction()

# The project's version as a regular expression, for tests that read it in output.
string(REPLACE "." "\\." VEXO_VERSION_RE "${PROJECT_VERSION}")

# vexo_add_test(TARGET SOURCES src... [LINK lib...] [PREFIX p] [PROPERTIES prop value...] [PROCESS_PER_TEST])
# A GoogleTest runner, registered with ctest. Natively each test case is a ctest test (names
# prefixed by PREFIX, with PROPERTIES). Cross builds run each runner under the emulator (Wine) as
# one test named after it, since a Wine start per test case would be far too slow, and since
# listing the cases would start Wine whenever ctest reads its tests; a PROCESS_PER_TEST runner,
# whose tests need a process each, still gets one there (cmake/VexoRunEachTest.cmake).
function(vexo_add_test target)
  cmake_parse_arguments(T "PROCESS_PER_TEST" "PREFIX" "SOURCES;LINK;PROPERTIES" ${ARGN})
  add_executable(${target} ${T_SOURCES})
  target_link_libraries(${target} PRIVATE ${T_LINK} GTest::gtest_main GTest::gmock)
  set_target_properties(${target} PROPERTIES VEXO_TEST_RUNNER ON)
  if(NOT CMAKE_CROSSCOMPILING)
    gtest_discover_tests(${target} TEST_PREFIX "${T_PREFIX}" DISCOVERY_TIMEOUT 60
      PROPERTIES TIMEOUT 120 ${T_PROPERTIES})
  elseif(CMAKE_CROSSCOMPILING_EMULATOR AND T_PROCESS_PER_TEST)
    add_test(NAME ${target} COMMAND ${CMAKE_COMMAND} -DRUNNER=$<TARGET_FILE:${target}>
      "-DEMULATOR=${CMAKE_CROSSCOMPILING_EMULATOR}" -P ${PROJECT_SOURCE_DIR}/cmake/VexoRunEachTest.cmake)
    set_tests_properties(${target} PROPERTIES TIMEOUT 1200 ${T_PROPERTIES})
  elseif(CMAKE_CROSSCOMPILING_EMULATOR)
    add_test(NAME ${target} COMMAND ${target} --gtest_brief=1)
    set_tests_properties(${target} PROPERTIES TIMEOUT 600 ${T_PROPERTIES})
  endif()
endfunction()

# Every GoogleTest runner below DIR must come from vexo_add_test(), or no ctest test would run it.
function(vexo_check_test_runners dir)
  vexo_own_targets(${dir} targets)
  foreach(t ${targets})
    get_target_property(type ${t} TYPE)
    get_target_property(registered ${t} VEXO_TEST_RUNNER)
    if(type STREQUAL "EXECUTABLE" AND t MATCHES "_tests$" AND NOT registered)
      message(FATAL_ERROR "${t} is a test runner: define it with vexo_add_test()")
    endif()
  endforeach()
endfunction()
