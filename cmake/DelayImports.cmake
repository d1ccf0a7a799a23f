# Delay-loading import libraries for MinGW-w64: a DLL imported through one of them is loaded
# at the first call of one of its functions, not when the program is loaded. The libraries
# are made from the toolchain's own import libraries: every function these export is listed
# in a module-definition file, from which dlltool writes the delay-loading library.
#
#   aq_delay_import_libraries(<out_var> user32 shell32 ...)
#
# sets <out_var> to the libraries' paths, to be linked before the ordinary import libraries.

function(aq_delay_import_libraries out_var)
  get_filename_component(compiler "${CMAKE_C_COMPILER}" NAME)
  string(REGEX MATCH "^.*-w64-mingw32-" prefix "${compiler}")
  find_program(AQ_DLLTOOL NAMES "${prefix}dlltool" REQUIRED)
  find_program(AQ_NM NAMES "${prefix}nm" REQUIRED)
  set(libraries)
  foreach(dll ${ARGN})
    find_library(AQ_IMPORT_${dll} NAMES "lib${dll}.a" REQUIRED)
    execute_process(COMMAND "${AQ_NM}" -g --defined-only "${AQ_IMPORT_${dll}}"
                    OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
    # "__imp_Name" on x86_64, "__imp__Name@N" on x86 (stdcall: the import by name drops @N).
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
      string(REGEX MATCHALL " I __imp__[^\n]+" names "${symbols}")
      set(kill_at -k)
    else()
      string(REGEX MATCHALL " I __imp_[^\n]+" names "${symbols}")
      set(kill_at)
    endif()
    list(TRANSFORM names REPLACE "^ I __imp__?" "")
    list(REMOVE_DUPLICATES names)
    list(JOIN names "\n" exports)
    set(def "${CMAKE_BINARY_DIR}/delayimp/${dll}.def")
    set(lib "${CMAKE_BINARY_DIR}/delayimp/lib${dll}_delay.a")
    file(CONFIGURE OUTPUT "${def}" CONTENT "LIBRARY ${dll}.dll\nEXPORTS\n${exports}\n")
    add_custom_command(OUTPUT "${lib}"
      COMMAND "${AQ_DLLTOOL}" ${kill_at} --input-def "${def}" --dllname "${dll}.dll"
              --output-delaylib "${lib}"
      DEPENDS "${def}" VERBATIM)
    list(APPEND libraries "${lib}")
  endforeach()
  add_custom_target(aq_delay_imports DEPENDS ${libraries})
  set(${out_var} "${libraries}" PARENT_SCOPE)
endfunction()
