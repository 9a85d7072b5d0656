# A layer publishes exactly its own headers: they are linked into a folder of
# the build tree named after the target, and that folder (not the source
# folder) is what users of the layer see. Each layer has a source folder of
# its own, so a file finds beside it only its own layer's headers: one that
# includes a header of a layer it does not link fails to compile.
#
#   dsc_publish_headers(TARGET header...)   headers relative to the current
#                                           source folder
function(dsc_publish_headers target)
  set(dir ${CMAKE_BINARY_DIR}/published/${target})
  # Rebuilt on every configure, so a header dropped from the list is gone.
  file(REMOVE_RECURSE ${dir})
  file(MAKE_DIRECTORY ${dir})
  foreach(header ${ARGN})
    get_filename_component(name ${header} NAME)
    file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR}/${header} ${dir}/${name} SYMBOLIC)
  endforeach()
  get_target_property(kind ${target} TYPE)
  if(kind STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${dir})
  else()
    target_include_directories(${target} PUBLIC ${dir})
  endif()
endfunction()
