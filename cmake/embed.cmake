# cmake -DOUTPUT=file.cpp -DNAMESPACE=ns -DINPUTS="name1=path1|name2=path2" -P embed.cmake
#
# Writes a C++ source that holds each input file's bytes as
#   extern const std::span<const unsigned char> <name>;
# so that data files (the window description, the icons) are compiled into the program.
set(text "// Generated from data files; do not edit.\n#include <span>\n\nnamespace ${NAMESPACE} {\n")
string(REPLACE "|" ";" INPUTS "${INPUTS}")
foreach(pair IN LISTS INPUTS)
  string(REPLACE "=" ";" parts "${pair}")
  list(GET parts 0 name)
  list(GET parts 1 path)
  file(READ "${path}" hex HEX)
  string(LENGTH "${hex}" hex_length)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){16})" "\\1\n  " bytes "${bytes}")
  math(EXPR size "${hex_length} / 2")
  string(APPEND text "\nstatic const unsigned char ${name}_bytes[${size} + 1] = {\n  ${bytes}0};\n")
  string(APPEND text "extern const std::span<const unsigned char> ${name}(${name}_bytes, ${size});\n")
endforeach()
string(APPEND text "\n}  // namespace ${NAMESPACE}\n")
file(WRITE "${OUTPUT}.tmp" "${text}")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
