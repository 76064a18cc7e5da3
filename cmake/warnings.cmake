# Warnings and sanitizers for the project's own targets (not for GoogleTest).
add_library(vx_build_flags INTERFACE)
target_compile_options(vx_build_flags INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wcast-qual -Wformat=2 -Wundef
  $<$<COMPILE_LANGUAGE:CXX>:-Wnon-virtual-dtor -Woverloaded-virtual>
  $<$<COMPILE_LANGUAGE:C>:-Wstrict-prototypes -Wmissing-prototypes>
  $<$<BOOL:${VX_WERROR}>:-Werror>)

if(VX_SANITIZE)
  set(VX_SANITIZERS -fsanitize=address,undefined,float-cast-overflow -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_compile_options(${VX_SANITIZERS})
  add_link_options(${VX_SANITIZERS})
endif()

# Coverage for libFuzzer in every library; only the fuzz targets link the
# fuzzer's own main.
if(VX_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
