# Runs PROGRAM (through EMULATOR when set) with ARGS, stores its standard output in OUTPUT
# and fails unless the run succeeded and OUTPUT equals EXPECTED byte for byte.
execute_process(COMMAND ${EMULATOR} ${PROGRAM} ${ARGS}
  OUTPUT_FILE ${OUTPUT} ERROR_VARIABLE errors RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} exited with ${result}: ${errors}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUTPUT} ${EXPECTED} RESULT_VARIABLE differs)
if(differs)
  message(FATAL_ERROR "${OUTPUT} differs from ${EXPECTED}")
endif()
