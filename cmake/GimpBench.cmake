# The GIMP test bench: GoogleTest programs that run as GIMP plug-ins inside
# the real gimp-console-2.10 (or gimp-2.10 under Xvfb), one GIMP start per
# program.  See tests/gimp/README.md.
include_guard(GLOBAL)

set(CORVELLA_GIMP_BENCH_DIR ${CMAKE_CURRENT_LIST_DIR}/../tests/gimp
    CACHE INTERNAL "GIMP test bench sources and scripts")

# True when GIMP tests can be built and run in this tree.
if(CORVELLA_HAVE_GIMP AND GIMP_CONSOLE AND NOT CORVELLA_SANITIZE
   AND NOT CORVELLA_FUZZ AND NOT WIN32)
  set(CORVELLA_GIMP_BENCH ON CACHE INTERNAL "")
else()
  set(CORVELLA_GIMP_BENCH OFF CACHE INTERNAL "")
endif()

# A program built with the bench's main and helpers, in the current binary
# folder, depending on the plug-in targets among PLUGINS (a name with a
# slash or a generator expression is a program path).  Sets plugin_args in
# the caller to the runner's --plugin arguments.
function(_corvella_gimp_executable name sources libs plugins)
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE corvella_gimp_bench ${libs})
  target_compile_options(${name} PRIVATE -Wno-deprecated-declarations)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  set(args)
  foreach(p ${plugins})
    if(p MATCHES "/|^\\$<")
      list(APPEND args --plugin ${p})
    else()
      list(APPEND args --plugin $<TARGET_FILE:${p}>)
      add_dependencies(${name} ${p})
    endif()
  endforeach()
  set(plugin_args ${args} PARENT_SCOPE)
endfunction()

# corvella_add_gimp_test(NAME
#     SOURCES src...            test cases (GoogleTest, no main)
#     [LIBS lib...]             e.g. the GIMP-free core to compare against
#     [PLUGINS target...]       plug-in targets (or program paths, containing
#                               a slash) under test
#     [LABELS label...]
#     [TIMEOUT seconds]         limit on the one GIMP start (default 180)
#     [INTERACTIVE]             full gimp-2.10 on a private Xvfb display
#     [EDITOR])                 the same with the editor's windows (image
#                               displays), not only the plug-ins' dialogs
# Registers CTest test NAME (the GIMP run) and NAME.Suite.Case per case.
function(corvella_add_gimp_test name)
  cmake_parse_arguments(T "INTERACTIVE;EDITOR" "TIMEOUT" "SOURCES;LIBS;PLUGINS;LABELS" ${ARGN})
  if(NOT CORVELLA_GIMP_BENCH OR NOT TARGET corvella_gimp_bench)
    return()
  endif()
  set(mode batch)
  set(labels gimp ${T_LABELS})
  if(T_INTERACTIVE OR T_EDITOR)
    find_program(CORVELLA_XVFB Xvfb)
    find_program(CORVELLA_XDOTOOL xdotool)
    if(NOT GIMP_GUI OR NOT CORVELLA_XVFB OR NOT CORVELLA_XDOTOOL)
      message(STATUS "${name}: gimp-2.10, Xvfb or xdotool missing; interactive test skipped")
      return()
    endif()
    set(mode interactive)
    if(T_EDITOR)
      set(mode editor)
    endif()
    list(APPEND labels gimp-interactive)
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 180)
  endif()

  # Plug-in targets may be defined before or after this call.
  _corvella_gimp_executable(${name} "${T_SOURCES}" "${T_LIBS}" "${T_PLUGINS}")

  set(results ${CMAKE_BINARY_DIR}/test-results/${name}.txt)
  math(EXPR ctest_timeout "${T_TIMEOUT} + 60")
  add_test(NAME ${name}
    COMMAND bash ${CORVELLA_GIMP_BENCH_DIR}/run-gimp-test.sh
      --mode ${mode} --exe $<TARGET_FILE:${name}> --results ${results}
      --artifacts ${CMAKE_BINARY_DIR}/test-artifacts --timeout ${T_TIMEOUT}
      ${plugin_args})
  set_tests_properties(${name} PROPERTIES
    TIMEOUT ${ctest_timeout} LABELS "${labels}" FIXTURES_SETUP ${name}_gimp_run
    ENVIRONMENT "GIMP_CONSOLE=${GIMP_CONSOLE};GIMP_GUI=${GIMP_GUI}")

  # The cases, listed by the program itself when CTest starts.
  set(BENCH_NAME ${name})
  set(BENCH_EXE ${CMAKE_CURRENT_BINARY_DIR}/${name})
  set(BENCH_RESULTS ${results})
  set(BENCH_CHECK ${CORVELLA_GIMP_BENCH_DIR}/check-gimp-case.sh)
  set(BENCH_LABELS "${labels}")
  configure_file(${CORVELLA_GIMP_BENCH_DIR}/gimp_cases.cmake.in
    ${CMAKE_CURRENT_BINARY_DIR}/${name}_cases.cmake @ONLY)
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES
    ${CMAKE_CURRENT_BINARY_DIR}/${name}_cases.cmake)
endfunction()

# corvella_add_gimp_program(NAME SOURCES ... [LIBS ...] [PLUGINS ...]): a
# bench program (same main, same helpers) that is built but not registered
# with CTest; benchmarks start it with tests/gimp/run-gimp-test.sh.
function(corvella_add_gimp_program name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;PLUGINS" ${ARGN})
  if(NOT CORVELLA_GIMP_BENCH OR NOT TARGET corvella_gimp_bench)
    return()
  endif()
  _corvella_gimp_executable(${name} "${T_SOURCES}" "${T_LIBS}" "${T_PLUGINS}")
endfunction()

# The interactive variant: corvella_add_gimp_test(... INTERACTIVE).
function(corvella_add_gimp_interactive_test name)
  corvella_add_gimp_test(${name} ${ARGN} INTERACTIVE)
endfunction()
