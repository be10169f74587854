# bda_existing(out files...): keeps the files that exist, so that a source list
# may name pieces that are still being written.
function(bda_existing out)
  set(kept)
  foreach(f ${ARGN})
    if(EXISTS ${CMAKE_SOURCE_DIR}/${f})
      list(APPEND kept ${CMAKE_SOURCE_DIR}/${f})
    endif()
  endforeach()
  set(${out} ${kept} PARENT_SCOPE)
endfunction()
