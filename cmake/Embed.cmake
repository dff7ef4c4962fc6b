# sarvik_embed_text(OUT_SOURCE SYMBOL INPUT) turns a text file into a C++ source that defines
#   extern const char SYMBOL[];  (the file's bytes, NUL-terminated)
# so that data kept in resources/ is compiled into the library without a run-time file.
function(sarvik_embed_text out_source symbol input)
  set(output "${CMAKE_CURRENT_BINARY_DIR}/${symbol}.cpp")
  add_custom_command(
    OUTPUT "${output}"
    COMMAND ${CMAKE_COMMAND} -DINPUT=${input} -DOUTPUT=${output} -DSYMBOL=${symbol}
            -P "${CMAKE_SOURCE_DIR}/cmake/EmbedScript.cmake"
    DEPENDS "${input}" "${CMAKE_SOURCE_DIR}/cmake/EmbedScript.cmake"
    COMMENT "Embedding ${input}")
  set(${out_source} "${output}" PARENT_SCOPE)
endfunction()
