# regsvr32 registers the shipped DLL under PassThruSupport.04.04 in the registry view of its own
# width, and regsvr32 /u removes exactly that key. Runs in the test's Wine prefix and leaves only
# the (empty) parent key behind. In a 64-bit prefix, the other view must stay untouched; given the
# 32-bit DLL too (the environment's VEXO_WIN32_DLL, on hosts that run 32-bit code), both are
# registered side by side.
# -DDLL=<dll> -DVIEW=32|64 -DWINE=<wine> -DWINEPATH=<winepath>
set(ENV{WINEDEBUG} "-all")
set(parent "HKLM\\SOFTWARE\\PassThruSupport.04.04")
set(ours "${parent}\\vexo - Tactrix Openport 2.0")
set(sibling "${parent}\\Other Vendor - Other Device")
if(VIEW STREQUAL "64")
  set(other_view 32)
  set(OTHER_DLL "$ENV{VEXO_WIN32_DLL}")
else()
  set(other_view "")  # a 32-bit prefix has one view
endif()

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

# The values under a key as "name|type|data" entries, read through the given view.
function(query key view out_var rc_var)
  run(out rc reg query "${key}" /reg:${view})
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

# The key as regsvr32 must leave it for the DLL at `dll_windows`, in `view`.
function(expect_registered dll_windows view)
  query("${ours}" ${view} got rc)
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
    message(FATAL_ERROR "in the ${view}-bit view (reg rc ${rc}) the key holds\n  ${got_text}\nexpected\n  ${expected_text}")
  endif()
endfunction()
function(expect_absent view what)
  query("${ours}" ${view} got rc)
  if(rc EQUAL 0)
    string(REPLACE ";" "\n  " got_text "${got}")
    message(FATAL_ERROR "${what}: the ${view}-bit view holds our key\n  ${got_text}")
  endif()
endfunction()

# Copies `dll` into `dir` and gives its Windows path.
function(place dll dir out_var)
  file(REMOVE_RECURSE "${dir}")
  file(MAKE_DIRECTORY "${dir}")
  file(COPY "${dll}" DESTINATION "${dir}")
  get_filename_component(name "${dll}" NAME)
  execute_process(COMMAND ${WINEPATH} -w "${dir}/${name}" OUTPUT_VARIABLE windows RESULT_VARIABLE rc)
  string(STRIP "${windows}" windows)
  if(NOT rc EQUAL 0 OR windows STREQUAL "")
    message(FATAL_ERROR "winepath -w failed for ${dir}/${name}")
  endif()
  set(${out_var} "${windows}" PARENT_SCOPE)
endfunction()

# A blank in the folder name: regsvr32 and FunctionLibrary must carry the whole path.
set(dir "${CMAKE_CURRENT_BINARY_DIR}/self registration")
place("${DLL}" "${dir}" dll_windows)

# Another vendor's entry, and a stale one of ours: a DLL since moved, a protocol of the wrong type.
foreach(view ${VIEW} ${other_view})
  run(out rc reg delete "${ours}" /f /reg:${view})
endforeach()
must(reg add "${sibling}" /v Name /t REG_SZ /d "Other device" /f /reg:${VIEW})
must(reg add "${ours}" /v FunctionLibrary /t REG_SZ /d "C:\\old\\vexo_j2534_0404.dll" /f /reg:${VIEW})
must(reg add "${ours}" /v CAN /t REG_SZ /d 0 /f /reg:${VIEW})

must(regsvr32 /s "${dll_windows}")
expect_registered("${dll_windows}" ${VIEW})
if(other_view)
  expect_absent(${other_view} "after regsvr32 of the ${VIEW}-bit DLL")
endif()

must(regsvr32 /u /s "${dll_windows}")
expect_absent(${VIEW} "after regsvr32 /u")
query("${sibling}" ${VIEW} got rc)
if(NOT rc EQUAL 0 OR NOT got STREQUAL "Name|REG_SZ|Other device")
  message(FATAL_ERROR "regsvr32 /u disturbed another vendor's key (rc ${rc}): ${got}")
endif()

# As the only entry, too: the parent stays for the next vendor.
must(reg delete "${sibling}" /f /reg:${VIEW})
must(regsvr32 /s "${dll_windows}")
must(regsvr32 /u /s "${dll_windows}")
run(out rc reg query "${parent}" /reg:${VIEW})
if(NOT rc EQUAL 0 OR out MATCHES "vexo")
  message(FATAL_ERROR "after regsvr32 /u (reg rc ${rc}) the parent key is gone or still lists ours:\n${out}")
endif()
# Unregistering what is not registered succeeds.
must(regsvr32 /u /s "${dll_windows}")

set(both "")
if(OTHER_DLL)
  # Both DLLs registered at once, each in its own view; each /u removes only its own.
  place("${OTHER_DLL}" "${dir} 32" other_windows)
  must(regsvr32 /s "${dll_windows}")
  must(regsvr32 /s "${other_windows}")
  expect_registered("${dll_windows}" 64)
  expect_registered("${other_windows}" 32)
  must(regsvr32 /u /s "${dll_windows}")
  expect_absent(64 "after regsvr32 /u of the 64-bit DLL")
  expect_registered("${other_windows}" 32)
  must(regsvr32 /s "${dll_windows}")
  must(regsvr32 /u /s "${other_windows}")
  expect_absent(32 "after regsvr32 /u of the 32-bit DLL")
  expect_registered("${dll_windows}" 64)
  must(regsvr32 /u /s "${dll_windows}")
  expect_absent(64 "at the end")
  file(REMOVE_RECURSE "${dir} 32")
  set(both "; with the 32-bit DLL beside it, each wrote and removed only its own view")
endif()
file(REMOVE_RECURSE "${dir}")
message(STATUS "regsvr32 wrote all 14 values in the ${VIEW}-bit view with FunctionLibrary=${dll_windows}; "
               "/u removed only that key${both}")
