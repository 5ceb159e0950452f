# Sources name a header by its path from the top of the repository ("platform/failure.h"), but
# that top is nobody's include folder: it would let every target reach every folder. Instead a
# folder of the build tree holds links to some paths of the source tree, under the same names.

# Makes the folder <build>/headers/<name> holding links to these paths; sets <variable> to it.
function(tirvano_header_folder variable name)
  set(folder ${CMAKE_BINARY_DIR}/headers/${name})
  foreach(path IN LISTS ARGN)
    if(NOT IS_SYMLINK ${folder}/${path})
      cmake_path(GET path PARENT_PATH parent)
      file(MAKE_DIRECTORY ${folder}/${parent})
      file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${path} ${folder}/${path} SYMBOLIC)
    endif()
  endforeach()
  set(${variable} ${folder} PARENT_SCOPE)
endfunction()

# Shows these paths to the target's own sources and to every target that links it, and no
# more: a target sees the headers of what it links.
function(tirvano_show_headers target)
  tirvano_header_folder(folder ${target} ${ARGN})
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${folder})
  else()
    target_include_directories(${target} PUBLIC ${folder})
  endif()
endfunction()
