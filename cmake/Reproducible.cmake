# VLM_REPRODUCIBLE (release builds): the programs carry no path of the machine that built
# them. Debug information and __FILE__ name the source folder "/vellumora", the build folder
# "/vellumora/<its name>" and the libraries "/vellumora/.deps/<arch>/prefix", where they sit in
# a checkout (a debugger maps "/vellumora" to the checkout at hand). Times come from
# SOURCE_DATE_EPOCH, which the linker, strip and the compiler all honour (our own code may not
# use __DATE__ or __TIME__: -Wdate-time). Included before any target exists.
option(VLM_REPRODUCIBLE "Map build paths out of the programs (release builds)" OFF)
if(VLM_REPRODUCIBLE)
  get_filename_component(build_name ${CMAKE_BINARY_DIR} NAME)
  # GCC tries the last map first, and the library and build folders may sit inside the source.
  foreach(map "${CMAKE_SOURCE_DIR}=/vellumora"
      "${VLM_DEPS_PREFIX}=/vellumora/.deps/${CMAKE_SYSTEM_PROCESSOR}/prefix"
      "${CMAKE_BINARY_DIR}=/vellumora/${build_name}")
    add_compile_options($<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${map}>)
  endforeach()
endif()
