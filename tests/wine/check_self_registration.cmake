# regsvr32 registers the shipped DLL under PassThruSupport.04.04 and regsvr32 /u removes exactly
# that key. Runs in the test's Wine prefix and leaves only the (empty) parent key behind.
# -DDLL=<dll> -DWINE=<wine> -DWINEPATH=<winepath>
set(ENV{WINEDEBUG} "-all")
set(parent "HKLM\\SOFTWARE\\PassThruSupport.04.04")
set(ours "${parent}\\vexo - Tactrix Openport 2.0")
set(sibling "${parent}\\Other Vendor - Other Device")

function(run out_var rc_var)
  execute_process(COMMAND ${WINE} ${ARGN} OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc TIMEOUT 120)
  string(REPLACE "\r" "" out "${out}")
  set(${out_var} "${out}${err}" PARENT_SCOPE)
  set(${rc_var} ${rc} PARENT_SCOPE)
endfunction()
function(must)
  run(out rc ${ARGN})
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}\n${out}")
  endif()
endfunction()

# The values under a key as "name|type|data" entries, read through the 32-bit view.
function(query key out_var rc_var)
  run(out rc reg query "${key}" /reg:32)
  set(entries "")
  string(REPLACE "\n" ";" lines "${out}")
  foreach(line IN LISTS lines)
    if(line MATCHES "^    ([^ ].*)    (REG_[A-Z_]+)    (.*)$")
      list(APPEND entries "${CMAKE_MATCH_1}|${CMAKE_MATCH_2}|${CMAKE_MATCH_3}")
    elseif(line MATCHES "^    ([^ ].*)    (REG_[A-Z_]+)$")  # empty data, no trailing blanks
      list(APPEND entries "${CMAKE_MATCH_1}|${CMAKE_MATCH_2}|")
    endif()
  endforeach()
  set(${out_var} "${entries}" PARENT_SCOPE)
  set(${rc_var} ${rc} PARENT_SCOPE)
endfunction()

# A blank in the folder name: regsvr32 and FunctionLibrary must carry the whole path.
set(dir "${CMAKE_CURRENT_BINARY_DIR}/self registration")
file(REMOVE_RECURSE "${dir}")
file(MAKE_DIRECTORY "${dir}")
file(COPY "${DLL}" DESTINATION "${dir}")
get_filename_component(dll_name "${DLL}" NAME)
execute_process(COMMAND ${WINEPATH} -w "${dir}/${dll_name}" OUTPUT_VARIABLE dll_windows RESULT_VARIABLE rc)
string(STRIP "${dll_windows}" dll_windows)
if(NOT rc EQUAL 0 OR dll_windows STREQUAL "")
  message(FATAL_ERROR "winepath -w failed for ${dir}/${dll_name}")
endif()

# Another vendor's entry, and a stale one of ours: a DLL since moved, a protocol of the wrong type.
run(out rc reg delete "${ours}" /f /reg:32)
must(reg add "${sibling}" /v Name /t REG_SZ /d "Other device" /f /reg:32)
must(reg add "${ours}" /v FunctionLibrary /t REG_SZ /d "C:\\old\\${dll_name}" /f /reg:32)
must(reg add "${ours}" /v CAN /t REG_SZ /d 0 /f /reg:32)

must(regsvr32 /s "${dll_windows}")
query("${ours}" got rc)
set(expected
  "Name|REG_SZ|Tactrix Openport 2.0 (vexo)"
  "Vendor|REG_SZ|vexo"
  "FunctionLibrary|REG_SZ|${dll_windows}"
  "ConfigApplication|REG_SZ|"
  "CAN|REG_DWORD|0x1"
  "ISO15765|REG_DWORD|0x1"
  "ISO9141|REG_DWORD|0x1"
  "ISO14230|REG_DWORD|0x1"
  "J1850VPW|REG_DWORD|0x0"
  "J1850PWM|REG_DWORD|0x0"
  "SCI_A_ENGINE|REG_DWORD|0x0"
  "SCI_A_TRANS|REG_DWORD|0x0"
  "SCI_B_ENGINE|REG_DWORD|0x0"
  "SCI_B_TRANS|REG_DWORD|0x0")
list(SORT got)
list(SORT expected)
if(NOT rc EQUAL 0 OR NOT got STREQUAL expected)
  string(REPLACE ";" "\n  " got_text "${got}")
  string(REPLACE ";" "\n  " expected_text "${expected}")
  message(FATAL_ERROR "after regsvr32 (reg rc ${rc}) the key holds\n  ${got_text}\nexpected\n  ${expected_text}")
endif()

must(regsvr32 /u /s "${dll_windows}")
query("${ours}" got rc)
if(rc EQUAL 0)
  string(REPLACE ";" "\n  " got_text "${got}")
  message(FATAL_ERROR "regsvr32 /u left the key, holding\n  ${got_text}")
endif()
query("${sibling}" got rc)
if(NOT rc EQUAL 0 OR NOT got STREQUAL "Name|REG_SZ|Other device")
  message(FATAL_ERROR "regsvr32 /u disturbed another vendor's key (rc ${rc}): ${got}")
endif()

# As the only entry, too: the parent stays for the next vendor.
must(reg delete "${sibling}" /f /reg:32)
must(regsvr32 /s "${dll_windows}")
must(regsvr32 /u /s "${dll_windows}")
run(out rc reg query "${parent}" /reg:32)
if(NOT rc EQUAL 0 OR out MATCHES "vexo")
  message(FATAL_ERROR "after regsvr32 /u (reg rc ${rc}) the parent key is gone or still lists ours:\n${out}")
endif()
# Unregistering what is not registered succeeds.
must(regsvr32 /u /s "${dll_windows}")
file(REMOVE_RECURSE "${dir}")
message(STATUS "regsvr32 wrote all 14 values with FunctionLibrary=${dll_windows}; /u removed only that key")
