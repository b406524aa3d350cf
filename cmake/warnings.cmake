# Our own targets build with these; third-party code (GoogleTest) does not.
function(tavrolin_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wconversion -Wsign-conversion
    -Wcast-qual -Wformat=2 -Wimplicit-fallthrough -Werror)
endfunction()
