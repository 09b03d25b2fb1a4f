# Runs the client once and checks its exit code, stdout, stderr and the fake library's call trace.
#   VEXO          the client
#   VEXO_ARGS     its arguments, separated by '|'
#   EXPECT_EXIT   the exit code
#   EXPECT_OUT    regular expression stdout must match ("" if stdout must be empty)
#   EXPECT_ERR    regular expression stderr must match (unset: not checked)
#   TRACE         the trace file the fakes write (removed first), TRACE_MATCH its expected regex,
#                 TRACE_NOT a regex it must not match
#   INPUT         text for standard input
string(REPLACE "|" ";" args "${VEXO_ARGS}")
if(DEFINED TRACE)
  file(REMOVE "${TRACE}")
  set(ENV{VEXO_FAKE_TRACE} "${TRACE}")
endif()
set(input_args)
if(DEFINED INPUT)
  string(MD5 input_name "${VEXO_ARGS}${INPUT}")
  set(input_file "${CMAKE_CURRENT_BINARY_DIR}/vexo_input_${input_name}.txt")
  file(WRITE "${input_file}" "${INPUT}\n")
  set(input_args INPUT_FILE "${input_file}")
else()
  set(input_args INPUT_FILE /dev/null)
endif()
execute_process(COMMAND "${VEXO}" ${args} ${input_args}
                RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 60)
set(failures "")
include(${CMAKE_CURRENT_LIST_DIR}/../check_run_output.cmake)
if(DEFINED TRACE)
  set(trace_text "")
  if(EXISTS "${TRACE}")
    file(READ "${TRACE}" trace_text)
  endif()
  if(DEFINED TRACE_MATCH AND NOT trace_text MATCHES "${TRACE_MATCH}")
    string(APPEND failures "trace does not match: ${TRACE_MATCH}\n")
  endif()
  if(DEFINED TRACE_NOT AND trace_text MATCHES "${TRACE_NOT}")
    string(APPEND failures "trace matches what it must not: ${TRACE_NOT}\n")
  endif()
endif()
if(NOT failures STREQUAL "")
  # NOTICE keeps the texts as they are; FATAL_ERROR would re-wrap them.
  message(NOTICE "vexo ${args}\n${failures}--- stdout\n${out}--- stderr\n${err}--- trace\n${trace_text}")
  message(FATAL_ERROR "vexo_cli test failed")
endif()
