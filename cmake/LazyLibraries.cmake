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
  if(NOT unowned AND owner MATCHES "^([^:]+)")
    set_property(GLOBAL APPEND PROPERTY QUENDRA_LAZY_PACKAGES "${CMAKE_MATCH_1}")
  endif()
endfunction()
