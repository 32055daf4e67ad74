# Libraries opened at run time by soname (src/formats/lazy_library.h) rather than linked:
# quendra_soname(OUT NAME LIBRARIES) finds lib${NAME}.so among LIBRARIES (pkg-config's full
# paths), sets OUT to the soname it points at and records the Debian package that holds it, for
# the package's dependencies (dpkg-shlibdeps cannot see them).
function(quendra_soname out name libraries)
  foreach(lib IN LISTS libraries)
    get_filename_component(base "${lib}" NAME)
    if(base STREQUAL "lib${name}.so")
      set(found "${lib}")
    endif()
  endforeach()
  if(NOT found)
    message(FATAL_ERROR "lib${name}.so is not among ${libraries}")
  endif()
  execute_process(COMMAND objdump -p "${found}" OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
  if(failed OR NOT dump MATCHES "SONAME +([^\n ]+)")
    message(FATAL_ERROR "cannot read the soname of ${found}")
  endif()
  set(soname "${CMAKE_MATCH_1}")
  set(${out} "${soname}" PARENT_SCOPE)
  file(REAL_PATH "${found}" real)
  execute_process(COMMAND dpkg-query -S "${real}" OUTPUT_VARIABLE owner ERROR_QUIET
                  RESULT_VARIABLE unowned)
  if(unowned AND real MATCHES "^/usr(/lib/.*)")
    # Some packages (zlib1g) still install under /lib, which /usr/lib merely mirrors.
    execute_process(COMMAND dpkg-query -S "${CMAKE_MATCH_1}" OUTPUT_VARIABLE owner ERROR_QUIET
                    RESULT_VARIABLE unowned)
  endif()
  if(NOT unowned AND owner MATCHES "^([^:]+)")
    set_property(GLOBAL APPEND PROPERTY QUENDRA_LAZY_PACKAGES "${CMAKE_MATCH_1}")
  else()
    # The package would not depend on it (a library built by hand is no Debian package's).
    set(level WARNING)
    if(QUENDRA_WERROR)
      set(level FATAL_ERROR)
    endif()
    message(${level} "no Debian package holds ${real}, which is opened at run time")
  endif()
endfunction()
