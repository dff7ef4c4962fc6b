# Warning flags every target of ours builds with.
function(sarvik_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Wnon-virtual-dtor -Wcast-align
                                           -Wformat=2 -Wimplicit-fallthrough)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    # The lock annotations are checked by the compiler; the lock-check build makes a breach an error.
    target_compile_options(${target} PRIVATE -Wthread-safety)
    if(SARVIK_LOCK_CHECK)
      target_compile_options(${target} PRIVATE -Werror)
    endif()
  endif()
endfunction()
