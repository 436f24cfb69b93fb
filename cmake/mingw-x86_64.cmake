# The 64-bit twin of every program: runs the tests on hosts that cannot run 32-bit code.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VLM_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
