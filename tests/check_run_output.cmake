# Shared by the client's runner scripts: appends to `failures` what a run's exit code, stdout and
# stderr got wrong against EXPECT_EXIT, EXPECT_OUT ("" if stdout must be empty; unset: not
# checked) and EXPECT_ERR (unset: not checked).
if(NOT code STREQUAL EXPECT_EXIT)
  string(APPEND failures "exit code ${code}, expected ${EXPECT_EXIT}\n")
endif()
if(DEFINED EXPECT_OUT)
  if(EXPECT_OUT STREQUAL "")
    if(NOT out STREQUAL "")
      string(APPEND failures "stdout should be empty\n")
    endif()
  elseif(NOT out MATCHES "${EXPECT_OUT}")
    string(APPEND failures "stdout does not match: ${EXPECT_OUT}\n")
  endif()
endif()
if(DEFINED EXPECT_ERR AND NOT err MATCHES "${EXPECT_ERR}")
  string(APPEND failures "stderr does not match: ${EXPECT_ERR}\n")
endif()
