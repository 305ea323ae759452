# Header-only libraries from the build machine's Debian packages, for cross
# builds: each in a folder that holds it alone, so that no other system
# header comes along into the target's compilation.
function(tavrik_machine_headers target)
  string(REPLACE "::" "_" folder_name ${target})
  set(folder ${CMAKE_BINARY_DIR}/machine-headers/${folder_name})
  file(MAKE_DIRECTORY ${folder})
  foreach(entry IN LISTS ARGN)
    if(NOT EXISTS /usr/include/${entry})
      message(FATAL_ERROR "${target} needs /usr/include/${entry}: install its Debian package")
    endif()
    file(CREATE_LINK /usr/include/${entry} ${folder}/${entry} SYMBOLIC)
  endforeach()
  add_library(${target} INTERFACE IMPORTED GLOBAL)
  set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${folder})
endfunction()
