# Runs the log probe under Wine and checks both destinations of its lines.
# -DPROBE=<exe> -DWINE=<wine> -DWINEPATH=<winepath>
string(RANDOM LENGTH 12 ALPHABET abcdefghijklmnopqrstuvwxyz0123456789 marker)
set(ENV{WINEDEBUG} "warn+seh,warn+debugstr")
execute_process(COMMAND ${WINE} ${PROBE} ${marker}
  OUTPUT_VARIABLE temp_dir ERROR_VARIABLE trace RESULT_VARIABLE rc TIMEOUT 240)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "probe failed (${rc}):\n${trace}")
endif()
string(STRIP "${temp_dir}" temp_dir)
if(temp_dir STREQUAL "")
  message(FATAL_ERROR "probe saw no TEMP")
endif()

# Debugger output: Wine reports every OutputDebugString call on its seh/debugstr channel,
# the text exactly as passed, without a terminator (the e-acute shows in Wine's ANSI code page,
# which depends on the locale, so that line is matched up to it).
foreach(expected
    "OutputDebugStringA \"[j2534] ${marker} entry line caf"
    "OutputDebugStringA \"[tactrix] ${marker} driver line\""
    "OutputDebugStringA \"[tactrix] ${marker} TX wire: 5 bytes [61 74 69 0D 0A]\"")
  string(FIND "${trace}" "${expected}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "debugger output lacks: ${expected}\n--- trace ---\n${trace}")
  endif()
endforeach()

set(ENV{WINEDEBUG} "-all")
execute_process(COMMAND ${WINEPATH} -u "${temp_dir}" OUTPUT_VARIABLE unix_dir RESULT_VARIABLE rc)
string(STRIP "${unix_dir}" unix_dir)
set(log "${unix_dir}/j2534-0404.log")
if(NOT rc EQUAL 0 OR NOT EXISTS "${log}")
  message(FATAL_ERROR "no log file at ${log} (TEMP=${temp_dir})")
endif()

# UTF-8 text, each line closed by a lone LF.
file(READ "${log}" hex HEX)
set(block "[j2534] ${marker} entry line café\n[tactrix] ${marker} driver line\n")
string(APPEND block "[tactrix] ${marker} TX wire: 5 bytes [61 74 69 0D 0A]\n")
file(WRITE "${CMAKE_CURRENT_BINARY_DIR}/expected-${marker}.txt" "${block}")
file(READ "${CMAKE_CURRENT_BINARY_DIR}/expected-${marker}.txt" block_hex HEX)
file(REMOVE "${CMAKE_CURRENT_BINARY_DIR}/expected-${marker}.txt")
string(FIND "${hex}" "${block_hex}" at)
if(at EQUAL -1)
  message(FATAL_ERROR "${log} lacks the probe's lines as UTF-8 with LF endings")
endif()
string(FIND "${hex}" "0d0a" crlf)
if(NOT crlf EQUAL -1)
  message(FATAL_ERROR "${log} holds a CR LF line ending")
endif()
message(STATUS "debugger output and ${log} both hold the probe's lines")
