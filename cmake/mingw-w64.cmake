# What both Windows cross builds share: the compilers of one MinGW-w64 target
# (AQ_MINGW_TARGET) and thread model (AQ_MINGW_THREADS), libraries and headers taken from
# its own root only. Included by the toolchain files beside it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${AQ_MINGW_TARGET}-gcc-${AQ_MINGW_THREADS})
set(CMAKE_CXX_COMPILER ${AQ_MINGW_TARGET}-g++-${AQ_MINGW_THREADS})
set(CMAKE_RC_COMPILER ${AQ_MINGW_TARGET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${AQ_MINGW_TARGET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
