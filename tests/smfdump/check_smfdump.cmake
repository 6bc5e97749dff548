# Runs smfdump once. Variables: SMFDUMP, ARGS (~~-separated), EXIT (expected
# status), OUT (regex standard output must match, or the exact text with
# EXACT), ERR (regex standard error must match), OUTPUT_FILE (standard output
# goes there instead, and OUT is not checked).
string(REPLACE "~~" ";" args "${ARGS}")
if(OUTPUT_FILE)
  execute_process(COMMAND ${SMFDUMP} ${args} OUTPUT_FILE ${OUTPUT_FILE} ERROR_VARIABLE err RESULT_VARIABLE rc TIMEOUT 60)
  set(out "")
else()
  execute_process(COMMAND ${SMFDUMP} ${args} OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc TIMEOUT 60)
endif()
if(NOT rc EQUAL EXIT)
  message(FATAL_ERROR "exit ${rc}, expected ${EXIT}\n${out}\n${err}")
endif()
if(EXACT)
  if(NOT out STREQUAL OUT)
    message(FATAL_ERROR "output differs:\n${out}")
  endif()
elseif(NOT out MATCHES "${OUT}")
  message(FATAL_ERROR "output does not match '${OUT}':\n${out}")
endif()
if(NOT err MATCHES "${ERR}")
  message(FATAL_ERROR "standard error does not match '${ERR}':\n${err}")
endif()
