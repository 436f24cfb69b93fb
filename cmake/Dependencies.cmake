# Third-party libraries, built for mingw by scripts/build-deps.sh into VLM_DEPS_PREFIX.
set(VLM_DEPS_SRC ${VLM_DEPS_PREFIX}/src)
list(APPEND CMAKE_PREFIX_PATH ${VLM_DEPS_PREFIX})

find_package(CURL 8.6 CONFIG REQUIRED)
find_package(jsoncpp CONFIG REQUIRED)

# Third-party code that never unwinds (C, or C++ that neither throws nor calls back into ours)
# is built without unwind tables and with a section per function: the link (--gc-sections)
# then drops the functions no caller reaches. Code with unwind tables keeps all of its
# functions, since this linker keeps every unwind table and what it points at. (A section per
# datum would cost bytes: this compiler puts zeroed data that has its own section in the file.)
set(VLM_NO_UNWIND_FLAGS -fno-asynchronous-unwind-tables -ffunction-sections)

# pugixml: its one source file, compiled with our flags minus our warning policy. Without its
# stream and string interface, XPath and exceptions, which the toolkit does not use (120 kB
# of program).
add_library(vlm_pugixml STATIC ${VLM_DEPS_SRC}/pugixml/src/pugixml.cpp)
target_include_directories(vlm_pugixml SYSTEM PUBLIC ${VLM_DEPS_SRC}/pugixml/src)
target_compile_definitions(vlm_pugixml PUBLIC PUGIXML_WCHAR_MODE PUGIXML_NO_STL PUGIXML_NO_XPATH PUGIXML_NO_EXCEPTIONS)
target_compile_options(vlm_pugixml PRIVATE ${VLM_PRODUCT_FLAGS} -fno-exceptions ${VLM_NO_UNWIND_FLAGS})

# The LZMA SDK's C decoder for the skin archive.
set(VLM_LZMA_DIR ${VLM_DEPS_SRC}/lzma/C)
add_library(vlm_lzma STATIC
  ${VLM_LZMA_DIR}/7zAlloc.c ${VLM_LZMA_DIR}/7zArcIn.c ${VLM_LZMA_DIR}/7zBuf.c
  ${VLM_LZMA_DIR}/7zCrc.c ${VLM_LZMA_DIR}/7zCrcOpt.c ${VLM_LZMA_DIR}/7zDec.c
  ${VLM_LZMA_DIR}/7zStream.c ${VLM_LZMA_DIR}/LzmaDec.c ${VLM_LZMA_DIR}/Lzma2Dec.c
  ${VLM_LZMA_DIR}/Bcj2.c ${VLM_LZMA_DIR}/Bra.c ${VLM_LZMA_DIR}/Bra86.c
  ${VLM_LZMA_DIR}/BraIA64.c ${VLM_LZMA_DIR}/Delta.c ${VLM_LZMA_DIR}/CpuArch.c)
target_include_directories(vlm_lzma SYSTEM PUBLIC ${VLM_LZMA_DIR})
# Not optimised for size: it decodes the skin before the first paint, 10-20 % slower at -Os
# for 6 kB.
target_compile_options(vlm_lzma PRIVATE ${VLM_NO_UNWIND_FLAGS})
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
