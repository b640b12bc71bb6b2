# One filter's plug-in folder, plugins/NAME, in the shape all three share:
#
#   plugins/NAME/
#     CMakeLists.txt   corvella_add_filter(NAME ...) and what is NAME's own
#     *.c *.h          the GIMP 2 plug-in (the frame) around the core
#     core/            the GIMP-free arithmetic and the parameter table
#     tool/            the command-line tool over the core
#     tests/           core, tool and plug-in tests; the core's plain twin
#     bench/           benchmark programs for scripts/bench.d
#     fuzz/            libFuzzer targets and their corpora (fuzz tree)
#     gimp3/           the GIMP 3 plug-in around the same core (gimp3 tree)
#
# corvella_add_filter(NAME
#     CORE src...               NAME_core: the GIMP-free core over
#                               corvella_base (core/ is its include folder)
#     [CORE_OPTIONS opt...]     its own compile options, in every tree
#     [OPTIONS src...]          NAME_options: the parameter table over
#                               NAME_core and corvella_params
#     [FRAME_CORE src...]       NAME_frame: the frame's GIMP-free arithmetic
#                               over NAME_core (fuzzed too)
#     [TOOL program src...]     the command-line tool in <tree>/tools/, over
#                               NAME_options and TOOL_LIBS; left out while a
#                               target of TOOL_LIBS is not in the tree
#     [TOOL_LIBS lib...]
#     [TOOL_TEST target MACRO src...]
#                               a GoogleTest program of the tool, labelled
#                               NAME, that finds it through MACRO="path"
#     [TOOL_TEST_LIBS lib...]
#     [PLUGIN src...]           the GIMP 2 plug-in program NAME over
#                               NAME_options and PLUGIN_LIBS, installed
#                               system-wide and into a profile
#     [PLUGIN_LIBS lib...]
#     [GIMP3 src...]            the GIMP 3 plug-in NAME-gimp3 over
#                               NAME_options and GIMP3_LIBS (gimp3 tree)
#     [GIMP3_LIBS lib...])
#
# In the fuzz tree the call builds the core (and frame core) with coverage
# feedback, adds fuzz/ and ends the folder's CMakeLists.txt: what follows
# the call belongs to the other trees only.  The GIMP 2 plug-in is built
# where GIMP 2 is found, outside the sanitizer tree.
include_guard(GLOBAL)
include(GimpBench)

# A GIMP 3 plug-in program, placed as <tree>/plug-ins/NAME/NAME, the layout
# of GIMP 3's plug-in folders; the frames' shared code is corvella_frame3
# (plugins/gimp3).
function(corvella_add_gimp3_plugin name)
  cmake_parse_arguments(P "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name}-gimp3 ${P_SOURCES})
  target_link_libraries(${name}-gimp3 PRIVATE corvella_frame3 ${P_LIBS})
  set_target_properties(${name}-gimp3 PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/plug-ins/${name}
    OUTPUT_NAME ${name})
endfunction()

function(corvella_add_filter_parts name)
  cmake_parse_arguments(F "" ""
    "CORE;CORE_OPTIONS;OPTIONS;FRAME_CORE;TOOL;TOOL_LIBS;TOOL_TEST;TOOL_TEST_LIBS;PLUGIN;PLUGIN_LIBS;GIMP3;GIMP3_LIBS"
    ${ARGN})
  set(dir ${CMAKE_CURRENT_SOURCE_DIR})

  add_library(${name}_core STATIC ${F_CORE})
  target_include_directories(${name}_core PUBLIC ${dir}/core)
  target_link_libraries(${name}_core PUBLIC corvella_base m)
  target_compile_options(${name}_core PRIVATE ${F_CORE_OPTIONS})
  if(F_FRAME_CORE)
    corvella_add_core(${name}_frame ${F_FRAME_CORE})
    target_link_libraries(${name}_frame PUBLIC ${name}_core m)
  endif()
  if(CORVELLA_FUZZ)
    corvella_fuzz_instrument(${name}_core)
    if(F_FRAME_CORE)
      corvella_fuzz_instrument(${name}_frame)
    endif()
    add_subdirectory(fuzz)
    return()
  endif()

  set(options)
  if(F_OPTIONS)
    set(options ${name}_options)
    add_library(${options} STATIC ${F_OPTIONS})
    target_link_libraries(${options} PUBLIC ${name}_core corvella_params)
  endif()

  set(have_tool_libs ON)
  foreach(lib ${F_TOOL_LIBS})
    if(NOT TARGET ${lib})
      set(have_tool_libs OFF)
    endif()
  endforeach()
  if(F_TOOL AND have_tool_libs)
    list(POP_FRONT F_TOOL tool)
    corvella_add_tool(${tool} ${F_TOOL})
    target_link_libraries(${tool} PRIVATE ${options} ${F_TOOL_LIBS})
    if(F_TOOL_TEST)
      list(POP_FRONT F_TOOL_TEST test macro)
      corvella_add_gtest(${test}
        SOURCES ${F_TOOL_TEST}
        LIBS ${F_TOOL_TEST_LIBS}
        LABELS ${name})
      target_compile_definitions(${test} PRIVATE ${macro}="$<TARGET_FILE:${tool}>")
      add_dependencies(${test} ${tool})
    endif()
  endif()

  if(F_PLUGIN AND CORVELLA_HAVE_GIMP AND NOT CORVELLA_SANITIZE)
    corvella_add_plugin(${name} ${F_PLUGIN})
    target_link_libraries(${name} PRIVATE ${F_PLUGIN_LIBS} ${options})
    corvella_install_plugin(${name})
  endif()

  if(F_GIMP3 AND CORVELLA_GIMP3)
    corvella_add_gimp3_plugin(${name} SOURCES ${F_GIMP3} LIBS ${F_GIMP3_LIBS} ${options})
  endif()
endfunction()

# The call of a folder's CMakeLists.txt (see above).  A macro for the fuzz
# tree's sake only: its return() ends the calling folder's file.
macro(corvella_add_filter)
  corvella_add_filter_parts(${ARGN})
  if(CORVELLA_FUZZ)
    return()
  endif()
endmacro()
