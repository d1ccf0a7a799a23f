# Cross build for 32-bit Windows with MinGW-w64 (win32 thread model: no winpthread).
# AQ_MINGW_THREADS=posix picks the posix thread model instead, whose C++ library has the
# std::mutex that GoogleTest needs (the unit tests' preset win32-tests).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
if(NOT AQ_MINGW_THREADS)
  set(AQ_MINGW_THREADS win32)
endif()
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-${AQ_MINGW_THREADS})
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-${AQ_MINGW_THREADS})
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
