# Fails unless ARCHIVE's objects carry libFuzzer's coverage counters.
execute_process(COMMAND nm -A ${ARCHIVE} OUTPUT_VARIABLE symbols ERROR_QUIET)
if(NOT symbols MATCHES "__sanitizer_cov_8bit_counters_init|__sancov_")
  message(FATAL_ERROR "${ARCHIVE} is not instrumented for coverage")
endif()
