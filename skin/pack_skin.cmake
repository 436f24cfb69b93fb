# Packs a skin into a 7z archive, the same bytes on every machine and from every checkout:
#   cmake -DSKIN_DIR=<skin folder> -DOUTPUT=<archive> [-DINTL_STAGE=<empty folder>] -P pack_skin.cmake
# Without INTL_STAGE: the layouts at SKIN_DIR's root and the images under res/. With it: the
# international skin, staged there from res/ and intl/ (whose files win) and packed whole.
#
# Images and layouts go into one solid LZMA2 block; the 1.5x and 2x sets ("name@2x.png") are
# PNGs already, stored as they are in a block of their own, so decoding stays as fast as with
# one set. No times and no attributes are stored (a checkout's file times and modes are its
# own), and the thread count, which decides how LZMA2 cuts its input, is fixed. 7-Zip sorts
# the entries itself, so the order files are listed or found in does not matter.
foreach(var SKIN_DIR OUTPUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "pack_skin.cmake: ${var} is not set")
  endif()
endforeach()
find_program(SEVEN_ZIP 7zz REQUIRED)
set(common a -bd -bso0 -t7z -mtm=off -mtc=off -mta=off -mtr=off -mmt=2)
set(solid -m0=lzma2:d=1536k -ms=on)
set(stored -m0=copy)

function(run_7zz dir)
  execute_process(COMMAND ${SEVEN_ZIP} ${ARGN} WORKING_DIRECTORY ${dir} RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "pack_skin.cmake: 7zz failed (${rc}) packing ${OUTPUT}")
  endif()
endfunction()

# 7zz adds to an existing archive, so start from nothing.
file(REMOVE ${OUTPUT})
if(DEFINED INTL_STAGE)
  file(REMOVE_RECURSE ${INTL_STAGE})
  file(MAKE_DIRECTORY ${INTL_STAGE})
  file(COPY ${SKIN_DIR}/res DESTINATION ${INTL_STAGE})
  file(GLOB intl_items ${SKIN_DIR}/intl/*)
  file(COPY ${intl_items} DESTINATION ${INTL_STAGE})
  # Paths inside start at the stage's root; folders are entries of their own here.
  run_7zz(${INTL_STAGE} ${common} ${solid} ${OUTPUT} . -xr!*@*.png)
  run_7zz(${INTL_STAGE} ${common} ${stored} ${OUTPUT} -ir!*@*.png)
else()
  file(GLOB layouts RELATIVE ${SKIN_DIR} ${SKIN_DIR}/*.xml)
  file(GLOB_RECURSE images RELATIVE ${SKIN_DIR} ${SKIN_DIR}/res/*)
  set(scaled ${images})
  list(FILTER scaled INCLUDE REGEX "@[0-9.]+x\\.png$")
  list(FILTER images EXCLUDE REGEX "@[0-9.]+x\\.png$")
  run_7zz(${SKIN_DIR} ${common} ${solid} ${OUTPUT} ${layouts} ${images})
  # 7zz given no file at all would pack the whole folder.
  if(scaled)
    run_7zz(${SKIN_DIR} ${common} ${stored} ${OUTPUT} ${scaled})
  endif()
endif()
