# Writes a C++ source whose function FUNCTION returns the bytes of INPUT as a std::string_view,
# declared in HEADER: a build-time file carried inside the program.
#   cmake -DINPUT=<file> -DOUTPUT=<file.cpp> -DFUNCTION=<name> -DHEADER=<header> -P EmbedFile.cmake
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
# Twenty bytes a line keeps the generated file readable in a debugger.
string(REGEX REPLACE "(('[^']*',){20})" "\\1\n    " bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp"
    "// Generated from ${INPUT} at build time; do not edit.\n"
    "#include \"${HEADER}\"\n\n"
    "namespace {\n\nconstexpr char kBytes[${size} + 1] = {\n    ${bytes}'\\0'};\n\n}  // namespace\n\n"
    "std::string_view ${FUNCTION}() {\n    return std::string_view(kBytes, ${size});\n}\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
