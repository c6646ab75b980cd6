# One place for the compiler warnings every target of the tree is built with.
option(KORVEL_WERROR "Treat compiler warnings as errors" ON)

function(korvel_set_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Wnon-virtual-dtor
                                           -Wformat=2 -Wundef)
  if(KORVEL_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
