# Runs the built client once, as a user would, and checks what it printed.
#   VEXO          the client
#   EMULATOR      what runs it, if anything (Wine for the Windows build), its words separated by '|'
#   VEXO_ARGS     its arguments, separated by '|'
#   LOG_DIR       made empty and given as TEMP, so the library's log lands there and nowhere else
#   EXPECT_EXIT   the exit code
#   EXPECT_OUT    regular expression stdout must match ("" if stdout must be empty)
#   EXPECT_ERR    regular expression stderr must match (unset: not checked)
#   EXPECT_JSON   stdout must be one JSON document; '|'-separated checks "a.b.0=value" (the value at
#                 that path, booleans as ON/OFF) or "a.b#=N" (the array or object there holds N items)
#   EXPECT_JSON_LINES  stdout must be JSON objects, one per line; the checks see them as one array,
#                 "0.id=7E8" for the first line's "id", "#=N" for the number of lines
#   INPUT         text for standard input (unset: /dev/null)
string(REPLACE "|" ";" args "${VEXO_ARGS}")
string(REPLACE "|" ";" emulator "${EMULATOR}")
file(REMOVE_RECURSE "${LOG_DIR}")
file(MAKE_DIRECTORY "${LOG_DIR}")
set(ENV{TEMP} "${LOG_DIR}")
set(input_args INPUT_FILE /dev/null)
if(DEFINED INPUT)
  file(WRITE "${LOG_DIR}/stdin.txt" "${INPUT}\n")
  set(input_args INPUT_FILE "${LOG_DIR}/stdin.txt")
endif()
execute_process(COMMAND ${emulator} "${VEXO}" ${args} ${input_args}
                RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 30)

set(failures "")
include(${CMAKE_CURRENT_LIST_DIR}/../check_run_output.cmake)

set(doc "${out}")
set(shape_ok TRUE)
if(DEFINED EXPECT_JSON_LINES)
  set(EXPECT_JSON "${EXPECT_JSON_LINES}")
  if(NOT out MATCHES "^({[^\n]*}\n)+$")
    set(shape_ok FALSE)
  endif()
  string(REGEX REPLACE "}\n{" "},{" doc "${out}")
  set(doc "[${doc}]")
elseif(NOT out MATCHES "^{[^\n]*}\n$")
  set(shape_ok FALSE)
endif()
if(DEFINED EXPECT_JSON)
  string(JSON root_type ERROR_VARIABLE parse_error TYPE "${doc}")
  # The parser stops after the first value; one object on one line is what a script reading vexo expects.
  if(NOT shape_ok)
    string(APPEND failures "stdout is not one JSON object on one line\n")
  elseif(NOT parse_error STREQUAL "NOTFOUND")
    string(APPEND failures "stdout is not JSON: ${parse_error}\n")
  elseif(NOT root_type STREQUAL "OBJECT" AND NOT root_type STREQUAL "ARRAY")
    string(APPEND failures "stdout is JSON but not an object: ${root_type}\n")
  else()
    string(REPLACE "|" ";" checks "${EXPECT_JSON}")
    foreach(check IN LISTS checks)
      if(NOT check MATCHES "^([^=#]*)(#?)=(.*)$")
        message(FATAL_ERROR "bad JSON check '${check}'")
      endif()
      set(want "${CMAKE_MATCH_3}")
      set(count "${CMAKE_MATCH_2}")
      string(REPLACE "." ";" path "${CMAKE_MATCH_1}")
      if(count STREQUAL "#")
        string(JSON got ERROR_VARIABLE get_error LENGTH "${doc}" ${path})
      else()
        string(JSON got ERROR_VARIABLE get_error GET "${doc}" ${path})
      endif()
      if(NOT get_error STREQUAL "NOTFOUND")
        string(APPEND failures "JSON ${check}: ${get_error}\n")
      elseif(NOT got STREQUAL want)
        string(APPEND failures "JSON ${check}: got '${got}'\n")
      endif()
    endforeach()
  endif()
endif()

if(NOT failures STREQUAL "")
  # NOTICE keeps the texts as they are; FATAL_ERROR would re-wrap them.
  list(JOIN args " " shown)
  message(NOTICE "vexo ${shown}\n${failures}--- stdout\n${out}--- stderr\n${err}")
  message(FATAL_ERROR "client end-to-end test failed")
endif()
