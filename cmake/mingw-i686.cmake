# Cross toolchain for the 32-bit Windows programs (mingw-w64, i686): the
# shipped launcher.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(tool_prefix i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
