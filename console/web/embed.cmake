# Turns the page's files into a C++ source of byte arrays, so that vxctl
# serves them from its own image and never from disk.
#   cmake -DOUTPUT=web_assets.cpp -DFILES="a.html;b.js" -P embed.cmake
set(body "")
set(table "")
set(n 0)
foreach(file IN LISTS FILES)
  get_filename_component(name ${file} NAME)
  get_filename_component(ext ${file} LAST_EXT)
  if(ext STREQUAL ".html")
    set(type "text/html; charset=utf-8")
  elseif(ext STREQUAL ".js")
    set(type "text/javascript; charset=utf-8")
  elseif(ext STREQUAL ".css")
    set(type "text/css; charset=utf-8")
  else()
    message(FATAL_ERROR "no content type for ${file}")
  endif()
  file(READ ${file} hex HEX)
  string(LENGTH "${hex}" length)
  math(EXPR size "${length} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(APPEND body "constexpr unsigned char kAsset${n}[] = {${bytes} 0};\n")
  if(name STREQUAL "index.html")
    set(name "")
  endif()
  string(APPEND table "    WebAsset{\"/${name}\", \"${type}\", {reinterpret_cast<const char*>(kAsset${n}), ${size}}},\n")
  math(EXPR n "${n} + 1")
endforeach()
file(WRITE ${OUTPUT}.tmp "// Generated from console/web by embed.cmake; do not edit.
#include \"vx/console/web_assets.hpp\"

#include <array>

namespace vx::console {
namespace {
${body}
const std::array kAssets{
${table}};
}  // namespace

std::span<const WebAsset> web_assets() { return kAssets; }

}  // namespace vx::console
")
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.tmp)
