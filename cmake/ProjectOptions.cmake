# The program's own code and the libraries compiled with it are optimised for size: an
# installer is downloaded before it runs, and its time goes to the network, the disk and the
# system, not to its own instructions (bench/README.md, "Program size", has the measurements).
# Debug builds keep theirs.
set(VLM_PRODUCT_OPTIMISATION -Os CACHE STRING "Optimisation flag of the program's code (after the build type's)")
set(VLM_PRODUCT_FLAGS $<$<NOT:$<CONFIG:Debug>>:${VLM_PRODUCT_OPTIMISATION}>)

# Compile settings shared by every target of our own code.
add_library(vlm_options INTERFACE)
target_compile_definitions(vlm_options INTERFACE
  UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
  _WIN32_WINNT=0x0601 WINVER=0x0601 _WIN32_IE=0x0800)
# SSE2 arithmetic: plain IEEE doubles, not the x87's extended precision, so progress
# figures truncate the same way on every machine.
target_compile_options(vlm_options INTERFACE
  -Wall -Wextra -Wpedantic -Werror -Wno-missing-field-initializers -msse2 -mfpmath=sse
  # A build time in the program would make every build differ.
  $<$<COMPILE_LANGUAGE:C,CXX>:-Wdate-time>)
# --gc-sections: sections no one reaches are dropped (cmake/Dependencies.cmake says which code
# has them).
target_link_options(vlm_options INTERFACE -static -static-libgcc -static-libstdc++ LINKER:--gc-sections)

# vlm_add_library(name SOURCES... [DEPS ...]): a static library of our own under src/.
function(vlm_add_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC vlm_options ${ARG_DEPS})
  target_compile_options(${name} PRIVATE ${VLM_PRODUCT_FLAGS})
endfunction()
