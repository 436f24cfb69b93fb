# VLM_REPRODUCIBLE (release builds): the programs carry no path of the machine that built
# them. Source, build and library folders are written as they sit in a checkout (".", the
# build folder's name, ".deps/<arch>/prefix"), in debug information and in __FILE__ alike.
# Times come from SOURCE_DATE_EPOCH, which the linker, strip and the compiler all honour (our
# own code may not use __DATE__ or __TIME__: -Wdate-time). Included before any target exists.
option(VLM_REPRODUCIBLE "Map build paths out of the programs (release builds)" OFF)
if(VLM_REPRODUCIBLE)
  get_filename_component(build_name ${CMAKE_BINARY_DIR} NAME)
  # GCC tries the last map first, and the library and build folders may sit inside the source.
  foreach(map "${CMAKE_SOURCE_DIR}=." "${VLM_DEPS_PREFIX}=.deps/${CMAKE_SYSTEM_PROCESSOR}/prefix"
      "${CMAKE_BINARY_DIR}=${build_name}")
    add_compile_options($<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${map}>)
  endforeach()
endif()
