# Shared by the two toolchain files: the posix-thread mingw-w64 compilers of one
# architecture (VLM_MINGW_PREFIX, CMAKE_SYSTEM_PROCESSOR set by the includer).
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${VLM_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VLM_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${VLM_MINGW_PREFIX}-windres)

# VLM_DEPS_PREFIX points at the libraries scripts/build-deps.sh built for this architecture.
if(NOT DEFINED VLM_DEPS_PREFIX)
  if(DEFINED ENV{VLM_DEPS_PREFIX})
    set(VLM_DEPS_PREFIX $ENV{VLM_DEPS_PREFIX})
  else()
    get_filename_component(VLM_DEPS_PREFIX
      "${CMAKE_CURRENT_LIST_DIR}/../.deps/${CMAKE_SYSTEM_PROCESSOR}/prefix" ABSOLUTE)
  endif()
endif()
set(CMAKE_FIND_ROOT_PATH /usr/${VLM_MINGW_PREFIX} ${VLM_DEPS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Windows programs run through the project's one Wine launcher, which picks the loader
# this host can run (see scripts/lib.sh).
get_filename_component(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run" ABSOLUTE)
