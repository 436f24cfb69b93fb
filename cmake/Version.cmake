# The product version has one home: the VERSION file at the root (MAJOR.MINOR.PATCH, or four
# numbers). Read before project() so project(VERSION) and every resource take it from there.
set(VLM_VERSION_FILE ${CMAKE_CURRENT_LIST_DIR}/../VERSION)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${VLM_VERSION_FILE})
file(STRINGS ${VLM_VERSION_FILE} VLM_VERSION LIMIT_COUNT 1)
string(STRIP "${VLM_VERSION}" VLM_VERSION)
if(NOT VLM_VERSION MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)(\\.([0-9]+))?$")
  message(FATAL_ERROR "VERSION: '${VLM_VERSION}' is not MAJOR.MINOR.PATCH (or four numbers)")
endif()
# Windows keeps each part of a file version in 16 bits.
set(VLM_VERSION_PARTS ${CMAKE_MATCH_1} ${CMAKE_MATCH_2} ${CMAKE_MATCH_3})
if("${CMAKE_MATCH_5}" STREQUAL "")
  list(APPEND VLM_VERSION_PARTS 0)
else()
  list(APPEND VLM_VERSION_PARTS ${CMAKE_MATCH_5})
endif()
foreach(part ${VLM_VERSION_PARTS})
  if(part GREATER 65535)
    message(FATAL_ERROR "VERSION: '${VLM_VERSION}' has a part above 65535")
  endif()
endforeach()
# "1.0.0.0" for the manifest and the version strings, "1,0,0,0" for FILEVERSION.
list(JOIN VLM_VERSION_PARTS "." VLM_VERSION_QUAD)
list(JOIN VLM_VERSION_PARTS "," VLM_VERSION_COMMAS)
