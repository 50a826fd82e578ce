# Fails when a file of core/<LAYER> includes a header of a layer above it.
# LAYERS lists the core's layers bottom up (separated by ";" or ","); an
# include may name its own layer or any below it. Writes STAMP when every
# file passes.
#   cmake -DLAYER=live -DLAYERS="base;...;engine" -DROOT=<source dir>
#         -DSTAMP=<file> -P check_layers.cmake
string(REPLACE "," ";" LAYERS "${LAYERS}")
list(FIND LAYERS "${LAYER}" own)
if(own LESS 0)
  message(FATAL_ERROR "check_layers: ${LAYER} is not one of ${LAYERS}")
endif()
set(allowed "")
foreach(index RANGE ${own})
  list(GET LAYERS ${index} name)
  list(APPEND allowed ${name})
endforeach()
string(REPLACE ";" ", " allowed_text "${allowed}")

file(GLOB FILES ${ROOT}/core/${LAYER}/*.cpp ${ROOT}/core/${LAYER}/*.h)
set(faults "")
foreach(file ${FILES})
  file(STRINGS ${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]core/")
  foreach(line ${includes})
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[\"<]core/([^/]+)/([^\">]*)[\">].*" "\\1;\\2" parts "${line}")
    list(GET parts 0 target_layer)
    list(GET parts 1 header)
    list(FIND allowed "${target_layer}" index)
    if(index LESS 0)
      file(RELATIVE_PATH relative ${ROOT} ${file})
      string(APPEND faults "\n  ${relative} includes core/${target_layer}/${header}")
    endif()
  endforeach()
endforeach()

if(faults)
  message(FATAL_ERROR "An include points up a layer: core/${LAYER} may include only ${allowed_text}.${faults}")
endif()
file(TOUCH ${STAMP})
