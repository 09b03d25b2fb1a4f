# The DLL and its libusb-1.0.dll installed together in one folder under Program Files, loaded by
# full path from a program that lives and runs elsewhere: the way an application loads it after
# reading FunctionLibrary from the registry. Nothing is preloaded; the DLL must find libusb beside it.
# -DPROBE=<dll_probe.exe> -DDLL=<dll> -DSIM_USB=<libusb-1.0.dll> -DWINE=<wine> -DWINEPATH=<winepath>
set(ENV{WINEDEBUG} "-all")
set(folder "C:\\Program Files\\vexo")
execute_process(COMMAND ${WINEPATH} -u "${folder}" OUTPUT_VARIABLE unix_folder RESULT_VARIABLE rc)
string(STRIP "${unix_folder}" unix_folder)
if(NOT rc EQUAL 0 OR unix_folder STREQUAL "")
  message(FATAL_ERROR "winepath -u failed for ${folder}")
endif()
file(REMOVE_RECURSE "${unix_folder}")
file(MAKE_DIRECTORY "${unix_folder}")
file(COPY "${DLL}" DESTINATION "${unix_folder}")
file(COPY_FILE "${SIM_USB}" "${unix_folder}/libusb-1.0.dll")
get_filename_component(dll_name "${DLL}" NAME)

# Started from a folder of its own, so neither the program's folder nor the current one holds libusb.
set(elsewhere "${CMAKE_CURRENT_BINARY_DIR}/install folder client")
file(REMOVE_RECURSE "${elsewhere}")
file(MAKE_DIRECTORY "${elsewhere}")
file(COPY "${PROBE}" DESTINATION "${elsewhere}")
get_filename_component(probe_name "${PROBE}" NAME)
execute_process(COMMAND ${WINE} "${elsewhere}/${probe_name}" --installed "${folder}\\${dll_name}"
  WORKING_DIRECTORY "${elsewhere}" OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc TIMEOUT 240)
message("${out}")
# Then as any application: the simulated cable is attached by the environment, not its control API.
set(ENV{VEXO_SIM_CABLES} 1)
set(ENV{VEXO_SIM_VEHICLE} demo)
execute_process(COMMAND ${WINE} "${elsewhere}/${probe_name}" --application "${folder}\\${dll_name}"
  WORKING_DIRECTORY "${elsewhere}" OUTPUT_VARIABLE app_out ERROR_VARIABLE app_err RESULT_VARIABLE app_rc TIMEOUT 240)
file(REMOVE_RECURSE "${unix_folder}" "${elsewhere}")
message("${app_out}")
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the installed DLL failed (${rc}):\n${err}")
endif()
if(NOT app_rc EQUAL 0)
  message(FATAL_ERROR "the application found no simulated car through the environment (${app_rc}):\n${app_err}")
endif()
