# Writes OUTPUT, a C++ source defining SYMBOL as the bytes of INPUT followed by a NUL.
file(READ "${INPUT}" hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "\\\\x\\1" escaped "${hex}")
string(REGEX REPLACE "((\\\\x[0-9a-f][0-9a-f]){32})" "\\1\"\n\"" escaped "${escaped}")
file(WRITE "${OUTPUT}" "// Generated from ${INPUT}; do not edit.\nextern const char ${SYMBOL}[];\nconst char ${SYMBOL}[] =\n\"${escaped}\";\n")
