# libFuzzer targets for the fuzz tree (CORVELLA_FUZZ, clang, ASan + UBSan).
#
# corvella_add_fuzzer(NAME
#     SOURCES src...          defines LLVMFuzzerTestOneInput
#     [LIBS lib...]
#     CORPUS dir              committed seed corpus (also the regression cases)
#     [MAX_LEN bytes]         longest generated input (default 4096)
#     [LABELS label...])
# Registers two CTest tests:
#   NAME         the fuzzer for CORVELLA_FUZZ_SECONDS (default 10) on a
#                copy of the corpus (new inputs stay in the build tree)
#   NAME_replay  NAME_replay, the same code with a plain main, run once over
#                every corpus file
# Both programs see tests/fuzz/ (fuzz_values.h) among their includes.
# and lists the target in <tree>/fuzz-targets.txt for scripts/fuzz-long.
include_guard(GLOBAL)

set(CORVELLA_FUZZ_SECONDS 10 CACHE STRING "Seconds each fuzz target runs under CTest")
set(CORVELLA_FUZZ_DIR ${CMAKE_CURRENT_LIST_DIR}/../tests/fuzz)
get_filename_component(CORVELLA_FUZZ_DIR ${CORVELLA_FUZZ_DIR} ABSOLUTE)
file(WRITE ${CMAKE_BINARY_DIR}/fuzz-targets.txt
  "# name binary corpus max_len (written by cmake/CorvellaFuzz.cmake)\n")

# Coverage feedback from a library's own code, not only from the target.
function(corvella_fuzz_instrument lib)
  target_compile_options(${lib} PRIVATE -fsanitize=fuzzer-no-link)
endfunction()

function(corvella_add_fuzzer name)
  cmake_parse_arguments(F "" "CORPUS;MAX_LEN" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT F_MAX_LEN)
    set(F_MAX_LEN 4096)
  endif()
  get_filename_component(corpus ${F_CORPUS} ABSOLUTE)

  add_executable(${name} ${F_SOURCES})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)

  add_executable(${name}_replay ${F_SOURCES} ${CORVELLA_FUZZ_DIR}/replay_main.c)
  target_compile_options(${name}_replay PRIVATE -fsanitize=fuzzer-no-link)
  foreach(t ${name} ${name}_replay)
    target_link_libraries(${t} PRIVATE ${F_LIBS})
    target_include_directories(${t} PRIVATE ${CORVELLA_FUZZ_DIR})
  endforeach()

  add_test(NAME ${name}
    COMMAND bash ${CORVELLA_FUZZ_DIR}/run-fuzzer.sh --seconds ${CORVELLA_FUZZ_SECONDS}
            --max-len ${F_MAX_LEN} --work ${CMAKE_CURRENT_BINARY_DIR}/${name}-work
            $<TARGET_FILE:${name}> ${corpus})
  math(EXPR limit "${CORVELLA_FUZZ_SECONDS} + 60")
  set_tests_properties(${name} PROPERTIES TIMEOUT ${limit} LABELS "fuzz;${F_LABELS}")
  add_test(NAME ${name}_replay COMMAND ${name}_replay ${corpus})
  set_tests_properties(${name}_replay PROPERTIES TIMEOUT 120 LABELS "fuzz-replay;${F_LABELS}")

  file(APPEND ${CMAKE_BINARY_DIR}/fuzz-targets.txt
    "${name} ${CMAKE_CURRENT_BINARY_DIR}/${name} ${corpus} ${F_MAX_LEN}\n")
endfunction()
