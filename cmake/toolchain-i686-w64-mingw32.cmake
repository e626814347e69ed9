# 32-bit Windows, the primary target.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
# The posix thread model: its C++ runtime has std::mutex, which GoogleTest needs.
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# The tests run the programs under Wine: Debian's wine command starts its
# 32-bit loader (package wine32:i386) for them.
find_program(HDSN_WINE_PROGRAM NAMES wine)
if(HDSN_WINE_PROGRAM)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${HDSN_WINE_PROGRAM})
endif()
