# Turns a binary file into a C++ source that defines a byte array.
# Run as a script: cmake -DINPUT=file -DOUTPUT=file.cpp -DSYMBOL=name -DNAMESPACE=ns -P EmbedBinary.cmake
# The array is `const std::array<unsigned char, N> SYMBOL` inside NAMESPACE, with a
# declaration `extern` so that other translation units can reach it.
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hexLen)
math(EXPR size "${hexLen} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
# break the initialiser into lines of 16 bytes
string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){16})" "\\1\n    " bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp"
  "// Generated from ${INPUT} at build time; do not edit.\n"
  "#include <array>\n\n"
  "namespace ${NAMESPACE} {\n\n"
  "extern const std::array<unsigned char, ${size}> ${SYMBOL};\n"
  "const std::array<unsigned char, ${size}> ${SYMBOL} = {\n    ${bytes}\n};\n\n"
  "}  // namespace ${NAMESPACE}\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
