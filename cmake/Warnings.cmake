# One named list of warnings for every target of ours; -Werror is switched on by CI.
set(QUENDRA_WARNINGS
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wcast-align -Woverloaded-virtual
  -Wnull-dereference -Wimplicit-fallthrough -Wformat=2 -Wno-unused-parameter)
if(QUENDRA_WERROR)
  list(APPEND QUENDRA_WARNINGS -Werror)
endif()

function(quendra_target_warnings target)
  target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:${QUENDRA_WARNINGS}>)
endfunction()
