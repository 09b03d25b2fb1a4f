# One fuzzing run: FUZZER for FUZZ_SECONDS (environment; 60), its output in RUN_DIR/log, any input
# that fails kept in RUN_DIR. Prints libFuzzer's final figures; a finding fails with the log's end.
# -DFUZZER=<fuzz target> -DRUN_DIR=<fresh directory for this run> -DSEEDS=<the repository's corpus>
set(seconds "$ENV{FUZZ_SECONDS}")
if(seconds STREQUAL "")
  set(seconds 60)
endif()
file(REMOVE_RECURSE ${RUN_DIR})
file(MAKE_DIRECTORY ${RUN_DIR}/corpus)
execute_process(COMMAND ${FUZZER} -max_total_time=${seconds} -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
                        -artifact_prefix=${RUN_DIR}/ ${RUN_DIR}/corpus ${SEEDS}
                OUTPUT_FILE ${RUN_DIR}/log ERROR_FILE ${RUN_DIR}/log RESULT_VARIABLE rc)
file(STRINGS ${RUN_DIR}/log stats REGEX "^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)")
list(JOIN stats " " stats)
message("${FUZZER}: ${stats}")
if(NOT rc EQUAL 0)
  file(STRINGS ${RUN_DIR}/log lines)
  list(LENGTH lines count)
  math(EXPR first "${count} - 60")
  if(first LESS 0)
    set(first 0)
  endif()
  list(SUBLIST lines ${first} -1 tail)
  list(JOIN tail "\n" tail)
  message(FATAL_ERROR "${tail}\nfuzzing found a fault (exit ${rc}): the input is in ${RUN_DIR}/")
endif()
