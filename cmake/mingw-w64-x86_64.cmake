# Cross build for 64-bit Windows with MinGW-w64 (posix thread model, which GoogleTest needs; linked statically).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(AQ_MINGW_TARGET x86_64-w64-mingw32)
set(AQ_MINGW_THREADS posix)
include("${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake")
