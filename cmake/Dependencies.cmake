# Third-party libraries, built for mingw by scripts/build-deps.sh into VLM_DEPS_PREFIX.
set(VLM_DEPS_SRC ${VLM_DEPS_PREFIX}/src)
list(APPEND CMAKE_PREFIX_PATH ${VLM_DEPS_PREFIX})

find_package(CURL 8.6 CONFIG REQUIRED)
find_package(jsoncpp CONFIG REQUIRED)

# pugixml: its one source file, compiled with our flags minus our warning policy.
add_library(vlm_pugixml STATIC ${VLM_DEPS_SRC}/pugixml/src/pugixml.cpp)
target_include_directories(vlm_pugixml SYSTEM PUBLIC ${VLM_DEPS_SRC}/pugixml/src)
target_compile_definitions(vlm_pugixml PUBLIC PUGIXML_WCHAR_MODE)

# The LZMA SDK's C decoder for the skin archive.
set(VLM_LZMA_DIR ${VLM_DEPS_SRC}/lzma/C)
add_library(vlm_lzma STATIC
  ${VLM_LZMA_DIR}/7zAlloc.c ${VLM_LZMA_DIR}/7zArcIn.c ${VLM_LZMA_DIR}/7zBuf.c
  ${VLM_LZMA_DIR}/7zCrc.c ${VLM_LZMA_DIR}/7zCrcOpt.c ${VLM_LZMA_DIR}/7zDec.c
  ${VLM_LZMA_DIR}/7zStream.c ${VLM_LZMA_DIR}/LzmaDec.c ${VLM_LZMA_DIR}/Lzma2Dec.c
  ${VLM_LZMA_DIR}/Bcj2.c ${VLM_LZMA_DIR}/Bra.c ${VLM_LZMA_DIR}/Bra86.c
  ${VLM_LZMA_DIR}/BraIA64.c ${VLM_LZMA_DIR}/Delta.c ${VLM_LZMA_DIR}/CpuArch.c)
target_include_directories(vlm_lzma SYSTEM PUBLIC ${VLM_LZMA_DIR})
target_compile_definitions(vlm_lzma PUBLIC _7ZIP_ST Z7_ST)

# cpp-httplib (tests only): header-only.
add_library(vlm_httplib INTERFACE)
target_include_directories(vlm_httplib SYSTEM INTERFACE ${VLM_DEPS_PREFIX}/include)
target_link_libraries(vlm_httplib INTERFACE ws2_32)

# GoogleTest from Debian's source package.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
foreach(target gtest gtest_main gmock gmock_main)
  target_compile_options(${target} PRIVATE ${VLM_TEST_CODE_FLAGS})
endforeach()
