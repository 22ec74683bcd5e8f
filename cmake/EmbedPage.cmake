# Writes OUTPUT, a C++ source that holds each of FILES (a ;-list of paths)
# as bytes, for simulator/PageFiles.h. Run with cmake -P at build time.
set(entries "")
set(arrays "")
set(index 0)
foreach(path IN LISTS FILES)
  get_filename_component(name "${path}" NAME)
  file(READ "${path}" hex HEX)
  string(LENGTH "${hex}" digits)
  math(EXPR size "${digits} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
  string(APPEND arrays "const char kFile${index}[] = {${bytes} 0};\n")
  string(APPEND entries "    {\"${name}\", {kFile${index}, ${size}}},\n")
  math(EXPR index "${index} + 1")
endforeach()
file(WRITE "${OUTPUT}.tmp" "// Generated from simulator/page/ by cmake/EmbedPage.cmake.
#include \"PageFiles.h\"

namespace Core::GEOCOM::simulator {

namespace {

${arrays}
const PageFile kPageFiles[] = {
${entries}};

}  // namespace

const PageFile* FindPageFile(std::string_view name) {
  for (const PageFile& file : kPageFiles) {
    if (file.name == name) return &file;
  }
  return nullptr;
}

}  // namespace Core::GEOCOM::simulator
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
