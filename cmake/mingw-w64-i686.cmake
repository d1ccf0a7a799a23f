# Cross build for 32-bit Windows with MinGW-w64 (win32 thread model: no winpthread).
# AQ_MINGW_THREADS=posix picks the posix thread model instead, whose C++ library has the
# std::mutex that GoogleTest needs (the unit tests' preset win32-tests).
set(CMAKE_SYSTEM_PROCESSOR x86)
set(AQ_MINGW_TARGET i686-w64-mingw32)
if(NOT AQ_MINGW_THREADS)
  set(AQ_MINGW_THREADS win32)
endif()
include("${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake")
