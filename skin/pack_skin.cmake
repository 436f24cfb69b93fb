# Packs a skin into a 7z archive, the same bytes on every machine and from every checkout:
#   cmake -DSKIN_DIR=<skin folder> -DOUTPUT=<archive> -DSTAGE=<scratch folder> [-DINTL=ON] -P pack_skin.cmake
# The layouts at SKIN_DIR's root and the images under res/ are staged in STAGE; with INTL the
# international skin's layouts, language table and images (intl/) take the layouts' place.
#
# The program decodes a block (7z folder) only when it first needs a file of it, and only
# the image set of its display's scale, so each set's images are split by when they are needed
# and how they pack (bench/toolkit/README.md has the measurements):
#   - the layouts (and language.json): one LZMA2 block;
#   - the installing animation's frames: a block per set, shown only once installing starts,
#     each frame's palette ordered like the frame before's (store_png.py --sequence);
#   - the page backgrounds: their PNGs, stored (large and smooth: LZMA would gain little and
#     unpack megabytes of pixels before the first window shows);
#   - the other 1x images: their PNGs, stored, so a window at 100 % unpacks nothing;
#   - the frames and the other 2x images: LZMA2 over PNGs rewritten with raw rows
#     (store_png.py), which packs them a third smaller than their own deflate.
# No times and no attributes are stored (a checkout's file times and modes are its own), and
# the thread count, which decides how LZMA2 cuts its input, is fixed. 7-Zip sorts the entries
# itself, so the order files are listed or found in does not matter.
foreach(var SKIN_DIR OUTPUT STAGE)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "pack_skin.cmake: ${var} is not set")
  endif()
endforeach()
find_program(SEVEN_ZIP 7zz REQUIRED)
find_program(PYTHON3 python3 REQUIRED)
set(common a -bd -bso0 -t7z -mtm=off -mtc=off -mta=off -mtr=off -mmt=2)
set(lzma -m0=lzma2:d=16m:fb=273 -ms=on)
set(stored -m0=copy)

# 7zz adds to an existing archive, so start from nothing.
file(REMOVE ${OUTPUT})
file(REMOVE_RECURSE ${STAGE})
file(MAKE_DIRECTORY ${STAGE})
# The international skin has its own six layouts. (file(COPY) skips a file whose copy has
# the same time, so nothing may be copied over another.)
if(INTL)
  file(GLOB layouts ${SKIN_DIR}/intl/*)
else()
  file(GLOB layouts ${SKIN_DIR}/*.xml)
endif()
file(COPY ${layouts} ${SKIN_DIR}/res DESTINATION ${STAGE})

file(GLOB texts RELATIVE ${STAGE} ${STAGE}/*.xml ${STAGE}/*.json)
file(GLOB_RECURSE images RELATIVE ${STAGE} ${STAGE}/res/*.png)
set(frames_regex "/progressAnimate/")
set(backgrounds_regex "/bg[0-9]*(@[0-9.]+x)?\\.png$")

# pack(files method...): one more block of the given files.
function(pack files)
  if(NOT files)
    return() # 7zz given no file at all would pack the whole folder
  endif()
  execute_process(COMMAND ${SEVEN_ZIP} ${common} ${ARGN} ${OUTPUT} ${files} WORKING_DIRECTORY ${STAGE}
    RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "pack_skin.cmake: 7zz failed (${rc}) packing ${OUTPUT}")
  endif()
endfunction()

# store_raw(files [--sequence]): rewrites them with raw rows; --sequence: they are frames, in order.
function(store_raw files)
  if(files)
    execute_process(COMMAND ${PYTHON3} ${CMAKE_CURRENT_LIST_DIR}/store_png.py ${ARGN} ${files} WORKING_DIRECTORY ${STAGE}
      RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "pack_skin.cmake: store_png.py failed (${rc})")
    endif()
  endif()
endfunction()

pack("${texts}" ${lzma})
foreach(set "" "@2x")
  set(in_set ${images})
  if(set)
    list(FILTER in_set INCLUDE REGEX "${set}\\.png$")
  else()
    list(FILTER in_set EXCLUDE REGEX "@[0-9.]+x\\.png$")
  endif()
  set(frames ${in_set})
  list(FILTER frames INCLUDE REGEX "${frames_regex}")
  set(backgrounds ${in_set})
  list(FILTER backgrounds INCLUDE REGEX "${backgrounds_regex}")
  list(FILTER in_set EXCLUDE REGEX "${frames_regex}|${backgrounds_regex}")
  list(SORT frames) # 000, 001, ...: each frame's palette follows the one before
  store_raw("${frames}" --sequence)
  pack("${frames}" ${lzma})
  pack("${backgrounds}" ${stored})
  if(set)
    store_raw("${in_set}")
    pack("${in_set}" ${lzma})
  else()
    pack("${in_set}" ${stored})
  endif()
endforeach()
