# Shared build conventions for both trees.
include_guard(GLOBAL)

add_compile_options(-Wall -Wextra)

if(CORVELLA_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

if(CORVELLA_GIMP3)
  # The GIMP 3 tree: cores and the GIMP 3 frames, in the Debian 13 root.
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(GIMP3 REQUIRED IMPORTED_TARGET gimpui-3.0 gimp-3.0)
  set(CORVELLA_HAVE_GIMP OFF)
elseif(NOT WIN32 AND NOT CORVELLA_SANITIZE)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(GIMP IMPORTED_TARGET gimpui-2.0 gimp-2.0 gtk+-2.0)
  set(CORVELLA_HAVE_GIMP ${GIMP_FOUND})
  find_program(GIMP_CONSOLE gimp-console-2.10)
  find_program(GIMP_GUI gimp-2.10)
else()
  set(CORVELLA_HAVE_GIMP OFF)
endif()

# GoogleTest from Debian's sources, built with this tree's compiler.
macro(corvella_use_gtest)
  # The GIMP 3 tree runs no unit tests: the cores' tests run in the native
  # tree, the GIMP 3 tests are driven from there too.
  if(NOT TARGET gtest AND NOT CORVELLA_GIMP3)
    set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    if(WIN32)
      set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
    endif()
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/_googletest EXCLUDE_FROM_ALL)
    if(WIN32)
      # Test programs must run under wine without the mingw runtime DLLs.
      foreach(t gtest gtest_main)
        target_link_options(${t} INTERFACE -static -static-libgcc -static-libstdc++)
      endforeach()
    endif()
  endif()
  include(GoogleTest)
endmacro()

# A GIMP-free static library (filter arithmetic, matrices, file formats).
function(corvella_add_core name)
  add_library(${name} STATIC ${ARGN})
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
endfunction()

# A command-line tool, placed in <tree>/tools/.
function(corvella_add_tool name)
  add_executable(${name} ${ARGN})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)
endfunction()

# A GIMP 2 plug-in program, placed as <tree>/plugins/NAME/NAME.  The legacy
# pixel-region API is deprecated in 2.10; the warning is silenced for the
# plug-in frames only, never for the cores.
function(corvella_add_plugin name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE PkgConfig::GIMP m)
  target_compile_options(${name} PRIVATE -Wno-deprecated-declarations)
  set_target_properties(${name} PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/plugins/${name}
    OUTPUT_NAME ${name})
endfunction()

# Installs a plug-in program twice over: system-wide into GIMP's plug-in
# folder under the prefix (the default component), and into a GIMP 2.10
# profile when installed with `--component user --prefix PROFILE` (the
# profile's plug-ins/NAME/ folder; that component stays out of a plain
# install).  PROGRAMS, not TARGETS: the plug-ins carry no run path.
function(corvella_install_plugin name)
  install(PROGRAMS $<TARGET_FILE:${name}> DESTINATION lib/gimp/2.0/plug-ins/${name})
  install(PROGRAMS $<TARGET_FILE:${name}> DESTINATION plug-ins/${name}
          COMPONENT user EXCLUDE_FROM_ALL)
endfunction()

# A GoogleTest program; every case shows up in CTest.  Windows programs are
# listed at test time through wine (the emulator), not at build time.
function(corvella_add_gtest name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  if(CORVELLA_GIMP3)
    # Declared (the folders' settings for it apply) but never built.
    add_executable(${name} EXCLUDE_FROM_ALL ${T_SOURCES})
    return()
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} gtest gtest_main)
  if(WIN32)
    list(APPEND T_LABELS windows)
    target_link_options(${name} PRIVATE -static)
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
      PROPERTIES LABELS "${T_LABELS}" TIMEOUT 120)
  elseif(T_LABELS)
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
      PROPERTIES LABELS "${T_LABELS}" TIMEOUT 300)
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
  endif()
endfunction()

if(CORVELLA_FUZZ)
  include(CorvellaFuzz)
endif()
