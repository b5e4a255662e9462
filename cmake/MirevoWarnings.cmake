# Strict warnings for the project's own targets; Qt's generated sources stay out of -Werror's way
# because they are compiled with the same flags but Qt keeps them warning-free.
function(mirevo_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor)
  if(MIREVO_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
