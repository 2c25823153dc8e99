# One bounded fuzz run, as a CTest test:
#   cmake -DFUZZER=... -DSEEDS=... -DWORK=... -DARTIFACTS=... -DDICT=...
#         -DSECONDS=... -DREPLAY=... -P run_fuzzer.cmake
# The fuzzer mutates WORK, a fresh copy of the seeds in the build tree, from
# a fixed random seed. A finding fails the test; libFuzzer's report above
# names the input it wrote into ARTIFACTS.
foreach(var FUZZER SEEDS WORK ARTIFACTS DICT SECONDS REPLAY)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "run_fuzzer.cmake: ${var} is not set")
  endif()
endforeach()

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}" "${ARTIFACTS}")
file(GLOB seed_files "${SEEDS}/*")
if(NOT seed_files)
  message(FATAL_ERROR "no seeds in ${SEEDS}: build the fuzz_seeds target")
endif()
file(COPY ${seed_files} DESTINATION "${WORK}")

execute_process(
  COMMAND "${FUZZER}" -seed=1 -max_total_time=${SECONDS} -max_len=8192 -timeout=10
          -rss_limit_mb=2048 -dict=${DICT} -artifact_prefix=${ARTIFACTS}/
          -print_final_stats=1 "${WORK}"
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  file(GLOB findings "${ARTIFACTS}/*")
  string(REPLACE ";" "\n  " findings "${findings}")
  message(FATAL_ERROR
    "fuzzer finding (exit ${rc}). Inputs kept in ${ARTIFACTS}:\n  ${findings}\n"
    "Reproduce: ${FUZZER} FILE   or   ${REPLAY} FILE\n"
    "Minimise: ${FUZZER} -minimize_crash=1 -runs=20000 -exact_artifact_path=MIN FILE\n"
    "Keep it: ${REPLAY} --hex MIN, as a named fixture in tests/fuzz/regressions.cpp.")
endif()
