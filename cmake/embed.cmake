# Makes a C++ source of files, each as an array of its bytes with its size:
#   cmake -DOUTPUT=page.cpp -DNAMES="a;b" -DFILES="a.html;b.js" -P embed.cmake
# gives `extern unsigned char const a[]; extern std::size_t const a_size;` and so on,
# in namespace tools::page.
set(text "// Made at build time from the page's own files; do not edit.\n#include <cstddef>\n\nnamespace tools::page {\n\n")
list(LENGTH NAMES count)
math(EXPR last "${count} - 1")
foreach(i RANGE ${last})
  list(GET NAMES ${i} name)
  list(GET FILES ${i} file)
  file(READ ${file} hex HEX)
  string(LENGTH "${hex}" length)
  math(EXPR size "${length} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "((0x..,){32})" "\\1\n" bytes "${bytes}")
  string(APPEND text "extern unsigned char const ${name}[] = {\n${bytes}0};\nextern std::size_t const ${name}_size = ${size};\n\n")
endforeach()
string(APPEND text "}  // namespace tools::page\n")
file(WRITE ${OUTPUT}.new "${text}")
file(COPY_FILE ${OUTPUT}.new ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.new)
