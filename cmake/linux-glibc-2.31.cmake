# The released Linux program, built to run on glibc 2.31 and newer: this machine's g++ with the
# C library, the C++ library and the GCC support libraries of Debian 11 (glibc 2.31, GCC 10) from
# the root that scripts/release/linux-sysroot.sh makes, the C++ and GCC libraries linked in
# statically. AQ_SYSROOT names that root.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_COMPILER gcc)
if(NOT AQ_SYSROOT)
  set(AQ_SYSROOT "$ENV{AQ_SYSROOT}")
endif()
if(NOT EXISTS "${AQ_SYSROOT}/usr/include/c++/10")
  message(FATAL_ERROR "no Debian 11 root at AQ_SYSROOT='${AQ_SYSROOT}': run scripts/release/linux-sysroot.sh")
endif()
set(AQ_SYSROOT "${AQ_SYSROOT}" CACHE PATH "The Debian 11 root the released Linux program is built against")
set(CMAKE_SYSROOT "${AQ_SYSROOT}")
# The compiler checks configure a project of their own with this file: they get the root too,
# whether it was named with -DAQ_SYSROOT or in the environment.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES AQ_SYSROOT)
set(aq_gcc "${AQ_SYSROOT}/usr/lib/gcc/x86_64-linux-gnu/10")
set(aq_lib "${AQ_SYSROOT}/usr/lib/x86_64-linux-gnu")
string(JOIN " " CMAKE_CXX_FLAGS_INIT -nostdinc++ "-isystem ${AQ_SYSROOT}/usr/include/c++/10"
       "-isystem ${AQ_SYSROOT}/usr/include/x86_64-linux-gnu/c++/10")
string(JOIN " " CMAKE_EXE_LINKER_FLAGS_INIT "-B${aq_gcc}" "-B${aq_lib}/" "-L${aq_gcc}" "-L${aq_lib}"
       "-L${AQ_SYSROOT}/lib/x86_64-linux-gnu" -static-libstdc++ -static-libgcc)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
