# SARVIK_SANITIZE=address builds everything with AddressSanitizer and UndefinedBehaviorSanitizer;
# SARVIK_SANITIZE=thread with ThreadSanitizer.
if(SARVIK_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(SARVIK_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(SARVIK_SANITIZE)
  message(FATAL_ERROR "SARVIK_SANITIZE must be address, thread or empty, not '${SARVIK_SANITIZE}'")
endif()
